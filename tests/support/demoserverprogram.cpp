#include "demoserverprogram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString demoServerProgram()
{
    const QString name = QStringLiteral("tools/cti-demo-server/cti-demo-server" EXECUTABLE_SUFFIX);
    // The suites lie in tests/<subsystem>/ of the build folder.
    QDir folder(QCoreApplication::applicationDirPath());
    for (int up = 0; up < 4 && !folder.exists(name); ++up)
        folder.cdUp();
    return folder.filePath(name);
}
