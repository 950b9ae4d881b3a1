// Renders both dialogs as a user meets them, for the README: the diagnostic tool after a
// login to the demo server, then the configuration tool showing the same settings.

#include "configurationdata.h"
#include "configurationdialog.h"
#include "demoserver.h"
#include "diagnosticdialog.h"
#include "programstart.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// On a platform with real windows the shot is taken from the screen, with the frame and title
// bar the system draws; offscreen there is only the client area.
QPixmap shot(QWidget *dialog)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return dialog->grab();
    QWindow *window = dialog->windowHandle();
    for (QDeadlineTimer deadline(3000); !window->isExposed() && !deadline.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(300); // until the frame is drawn, which the application is not told
    QApplication::processEvents();
    return window->screen()->grabWindow(0, dialog->frameGeometry().x(), dialog->frameGeometry().y(),
                                        dialog->frameGeometry().width(), dialog->frameGeometry().height());
}

bool save(QWidget *dialog, const QString &path)
{
    dialog->show();
    QApplication::processEvents();
    const bool saved = shot(dialog).save(path);
    std::printf("%s %s\n", saved ? "Wrote" : "Could not write", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char **argv)
{
    prepareApplication(); // as the programs start
    QApplication application(argc, argv);
    const QString folder = application.arguments().value(1, QStringLiteral("."));
    QDir().mkpath(folder);

    QTemporaryDir programData;
    qputenv("ProgramData", QFile::encodeName(programData.path()));
    DemoServer server;
    if (!server.listen())
        return 1;
    ConfigurationData settings;
    settings.setServer(QStringLiteral("127.0.0.1"));
    settings.setPort(server.port());
    settings.setUserName(QStringLiteral("demo"));
    settings.setPassword(QStringLiteral("demo"));
    settings.setLogger(true);
    settings.setChanged(false);
    settings.synchronize();

    DiagnosticDialog diagnostic;
    diagnostic.findChild<QPushButton *>(QStringLiteral("test_btn"))->click();
    const QLabel *status = diagnostic.findChild<QLabel *>(QStringLiteral("status"));
    for (QDeadlineTimer deadline(5000); status->text() != QLatin1String("Logged in") && !deadline.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    bool saved = save(&diagnostic, folder + QStringLiteral("/diagnostic-tool.png"));

    ConfigurationDialog configuration;
    saved = save(&configuration, folder + QStringLiteral("/configuration-tool.png")) && saved;
    return saved ? 0 : 1;
}
