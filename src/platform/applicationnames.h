#pragma once

#include <QString>

// The product's names: they name the settings folder and file, the registry key, the log
// source tag and the configuration dialog's title. Here, below both the log writer and the
// settings store, which both use them.

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
