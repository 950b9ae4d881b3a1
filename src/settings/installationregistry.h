#pragma once

#include <QString>

#include <memory>

class QSettings;

// The machine-wide registry key of the installed integration (32-bit view), as text.
QString installationRegistryPath();

// The key opened read-only through QSettings in native format. Other systems have no
// registry: there the same company and application names name a system-scope settings file.
std::unique_ptr<QSettings> openInstallationRegistry();
