#include "clientsockets.h"

#include <QDir>
#include <QFile>
#include <QSet>

int connectionsTo(quint16 port)
{
    // The sockets this process holds, by inode ("socket:[12345]").
    QSet<QString> ours;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System)) {
        const QString target = fd.symLinkTarget();
        if (target.contains(QLatin1String("socket:[")))
            ours.insert(target.section(QLatin1Char('['), 1).chopped(1));
    }
    // The kernel's table: "sl local_address rem_address st ... inode", addresses as hex ip:port.
    int connections = 0;
    for (const char *table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine();
        while (!file.atEnd()) {
            const QStringList fields = QString::fromLatin1(file.readLine()).simplified().split(QLatin1Char(' '));
            if (fields.size() < 10)
                continue;
            const quint16 remotePort = fields.at(2).section(QLatin1Char(':'), 1).toUShort(nullptr, 16);
            const bool waiting = fields.at(3) == QLatin1String("06"); // TIME_WAIT
            connections += remotePort == port && !waiting && ours.contains(fields.at(9)) ? 1 : 0;
        }
    }
    return connections;
}
