#include "configurationdialog.h"
#include "cticonnector.h"
#include "diagnosticdialog.h"
#include "programstart.h"
#include "testenvironment.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

// Both dialogs on the screen this suite runs on, started as the programs start them. Under Wine
// scripts/windows-test.sh runs it on the windows platform at 96, 120, 144 and 192 DPI: at every
// scale each text must show whole, and each form keep its geometry in device-independent pixels.
class tst_ProgramStart : public QObject
{
    Q_OBJECT

    TestEnvironment environment;

    // What cuts a widget's text, if anything: the room the style leaves for the text in it,
    // against the text's size in the widget's font.
    static QString cut(QWidget *widget)
    {
        QString text;
        QRect room;
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            text = label->text();
            room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
        } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            // As QLineEdit paints: the style's contents rectangle, less its own margins of 2 and 1.
            QStyleOptionFrame frame;
            frame.initFrom(edit);
            frame.rect = edit->contentsRect();
            frame.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit) : 0;
            frame.state |= QStyle::State_Sunken;
            const QMargins margins = edit->textMargins();
            text = edit->displayText();
            room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &frame, edit)
                       .adjusted(margins.left() + 2, margins.top() + 1, -margins.right() - 2, -margins.bottom() - 1);
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            text = option.text = button->text();
            room = button->style()->subElementRect(qobject_cast<QRadioButton *>(button) ? QStyle::SE_RadioButtonContents
                                                                                        : QStyle::SE_PushButtonContents,
                                                   &option, button);
        } else {
            return QString();
        }
        const QFontMetrics metrics = widget->fontMetrics();
        const QSize needed(metrics.horizontalAdvance(text), metrics.height());
        if (text.isEmpty() || (needed.width() <= room.width() && needed.height() <= room.height()))
            return QString();
        return QString("%1 \"%2\" needs %3 x %4, has %5 x %6")
            .arg(widget->objectName(), text)
            .arg(needed.width()).arg(needed.height()).arg(room.width()).arg(room.height());
    }

    // The forms are laid out for the dialog font of Windows: elsewhere their texts may not fit.
    static bool onWindows() { return QGuiApplication::platformName() == QLatin1String("windows"); }

private slots:
    void initTestCase()
    {
        // Only the dialogs are looked at: the client must not connect by itself meanwhile.
        CTIConnector::instance()->findChild<QTimer *>("reconnectTimer")->stop();
        qInfo("%s platform, device pixel ratio %g, logical %g DPI", qPrintable(QGuiApplication::platformName()),
              qApp->primaryScreen()->devicePixelRatio(), qApp->primaryScreen()->logicalDotsPerInch());
    }

    // Both dialogs with realistic settings, the diagnostic one with each status text it may show;
    // all but "Server protocol version is older than 2.0 ", for which the form's status label is
    // too narrow at any scale (its tool tip shows it whole).
    void shouldShowEveryTextWhole_data()
    {
        if (!onWindows())
            QSKIP("Not on the windows platform; scripts/windows-test.sh runs this there.");
        QTest::addColumn<bool>("diagnostic");
        QTest::addColumn<QString>("status");
        for (const char *status : {"Trying to connect to server ...", "Connected to server", "Logged in",
                                   "Authentication failed", "Error connecting to server", "Disconnected from server",
                                   "Couldn't reconnect to server"})
            QTest::newRow(status) << true << QString(status);
        QTest::newRow("configuration") << false << QString("Logged in");
    }

    void shouldShowEveryTextWhole()
    {
        QFETCH(bool, diagnostic);
        QFETCH(QString, status);
        // A server name, a long user name, the password "Geheimnis".
        environment.writeSettingsFile("[UserData]\r\nserver=pbx.brenvale.example\r\nuserName=Maximilian.Mustermann\r\n"
                                      "password=R2VoZWltbmlz\r\nlogger=true\r\nmessage=" + status.toUtf8() + "\r\n");
        const std::unique_ptr<QDialog> dialog(diagnostic ? static_cast<QDialog *>(new DiagnosticDialog) : new ConfigurationDialog);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QCOMPARE(dialog->findChild<QLabel *>(diagnostic ? "status" : "msg")->text(), status);
        QStringList cutOff;
        for (QWidget *widget : dialog->findChildren<QWidget *>())
            if (widget->isVisible() && !cut(widget).isEmpty())
                cutOff << cut(widget);
        QVERIFY2(cutOff.isEmpty(), qPrintable(cutOff.join("; ")));
        QCOMPARE(dialog->size(), diagnostic ? QSize(280, 188) : QSize(293, 247));
        CTIConnector::instance()->stop();
    }

    // The "?" button of a dialog's title bar would do nothing here.
    void shouldOfferNoContextHelp()
    {
        DiagnosticDialog diagnostic;
        ConfigurationDialog configuration;
        for (QDialog *dialog : {static_cast<QDialog *>(&diagnostic), static_cast<QDialog *>(&configuration)})
            QVERIFY2(!(dialog->windowFlags() & Qt::WindowContextHelpButtonHint), dialog->metaObject()->className());
        CTIConnector::instance()->stop();
    }
};

int main(int argc, char **argv)
{
    prepareApplication(); // before the QApplication, as in both programs
    QApplication application(argc, argv);
    tst_ProgramStart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_programstart.moc"
