#pragma once

#include <QString>

// The product's names: they name the settings folder and file, the registry key, the log
// source tag and the configuration dialog's title. Header-only so the log writer, which sits
// below the settings store, can use them too.

inline const QString &companyName()
{
    static const QString name = QStringLiteral("Brenvale Europe GmbH");
    return name;
}

inline const QString &applicationName()
{
    static const QString name = QStringLiteral("BrenvaleTAPIDriver");
    return name;
}
