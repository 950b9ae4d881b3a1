#include "diagnosticdialog.h"

#include "cticonnector.h"
#include "demoserver.h"
#include "testenvironment.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

class tst_DiagnosticDialog : public QObject
{
    Q_OBJECT

    // The dialog talks to the process's one connector: its settings folder must outlive it.
    TestEnvironment environment;
    DemoServer server;

private slots:
    void initTestCase()
    {
        QVERIFY(server.listen());
        // Only clicks connect here: the client's own 10-second check would add status texts.
        CTIConnector::instance()->findChild<QTimer *>("reconnectTimer")->stop();
    }

    void cleanup() { CTIConnector::instance()->stop(); }

    // What a user sees: title, button, labels, the stored settings in read-only fields, the
    // password masked.
    void shouldShowTheStoredSettingsInTheDesignedForm()
    {
        // The password is "secret" in Base64.
        environment.writeSettingsFile("[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\npassword=c2VjcmV0\r\n"
                                      "message=Authentication failed\r\n");
        DiagnosticDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Dialog"));
        QCOMPARE(dialog.findChild<QPushButton *>("test_btn")->text(), QString("Testverbindung"));
        QCOMPARE(dialog.findChild<QLabel *>("label")->text(), QString("Server: "));
        QCOMPARE(dialog.findChild<QLabel *>("label_2")->text(), QString("Benutzer:"));
        QCOMPARE(dialog.findChild<QLabel *>("label_3")->text(), QString("Passwort:"));
        for (const char *field : {"server", "username", "password"})
            QVERIFY2(!dialog.findChild<QLineEdit *>(field)->isEnabled(), field);
        QCOMPARE(dialog.findChild<QLineEdit *>("server")->text(), QString("pbx.example:28888"));
        QCOMPARE(dialog.findChild<QLineEdit *>("username")->text(), QString("anna"));
        auto *password = dialog.findChild<QLineEdit *>("password");
        QCOMPARE(password->text(), QString("secret"));
        QVERIFY(!password->displayText().contains("secret"));
        QCOMPARE(dialog.findChild<QLabel *>("status")->text(), QString("Authentication failed"));

        environment.writeSettingsFile("[UserData]\r\nserver=pbx.example\r\nport=5000\r\n");
        DiagnosticDialog withoutMessage;
        QCOMPARE(withoutMessage.findChild<QLineEdit *>("server")->text(), QString("pbx.example:5000"));
        QCOMPARE(withoutMessage.findChild<QLabel *>("status")->text(), QString()); // not the form's "Connected"
    }

    // The fields are disabled, so they cannot be scrolled: a hovered field shows what it holds
    // whole as its tool tip, the password still masked. So does the status, which the form's
    // label cuts when it is the longest.
    void shouldShowEachFieldsWholeValueAsItsToolTip()
    {
        // The password is "Geheimnis" in Base64.
        environment.writeSettingsFile("[UserData]\r\nserver=telefonanlage.brenvale.example\r\n"
                                      "userName=Maximilian.Mustermann\r\npassword=R2VoZWltbmlz\r\n"
                                      "message=Server protocol version is older than 2.0\r\n");
        DiagnosticDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *serverField = dialog.findChild<QLineEdit *>("server");
        QVERIFY(serverField->fontMetrics().horizontalAdvance(serverField->text()) > serverField->width()); // cut
        const QMap<QString, QString> shown{{"server", "telefonanlage.brenvale.example:28888"},
                                           {"username", "Maximilian.Mustermann"},
                                           {"password", dialog.findChild<QLineEdit *>("password")->displayText()},
                                           {"status", "Server protocol version is older than 2.0"}};
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            auto *field = dialog.findChild<QWidget *>(it.key());
            QHelpEvent event(QEvent::ToolTip, field->rect().center(), field->mapToGlobal(field->rect().center()));
            QCoreApplication::sendEvent(field, &event);
            QTRY_VERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(), it.value());
            QToolTip::hideText();
        }
        QVERIFY(!shown["password"].contains("Geheimnis") && shown["password"].size() == 9);
    }

    // The status and its tool tip follow the client's status texts.
    void shouldFollowTheClientsStatusUntilClosed()
    {
        environment.writeSettingsFile("[UserData]\r\nserver=127.0.0.1\r\nport=" + QByteArray::number(server.port())
                                      + "\r\nuserName=demo\r\npassword=ZGVtbw==\r\n"); // password "demo"
        QStringList shown; // outlives the dialog, whose destructor still reports
        auto dialog = std::make_unique<DiagnosticDialog>();
        auto *status = dialog->findChild<QLabel *>("status");
        auto *testButton = dialog->findChild<QPushButton *>("test_btn");
        connect(CTIConnector::instance(), &CTIConnector::clientState, dialog.get(), [&] { shown << status->text(); });
        QTest::mouseClick(testButton, Qt::LeftButton);
        QTRY_COMPARE(status->text(), QString("Logged in"));
        QCOMPARE(shown, QStringList({"Trying to connect to server ...", "Connected to server", "Logged in"}));
        QCOMPARE(status->toolTip(), status->text()); // whole where the label cuts it

        // The second click replaces the first click's socket before it has logged in.
        shown.clear();
        QTest::mouseClick(testButton, Qt::LeftButton);
        QTest::mouseClick(testButton, Qt::LeftButton);
        QTRY_COMPARE(status->text(), QString("Logged in"));
        QCOMPARE(shown.mid(0, 4), QStringList({"Disconnected from server", "Trying to connect to server ...",
                                               "Disconnected from server", "Trying to connect to server ..."}));
        QTRY_COMPARE(server.clientCount(), 1);

        // Closed while connected: the next start shows the disconnection.
        dialog.reset();
        QCOMPARE(environment.storedValue("message"), QString("Disconnected from server"));
        // Status texts after the dialog is gone must not reach its label.
        CTIConnector::instance()->login();
        QTRY_COMPARE(environment.storedValue("message"), QString("Logged in"));
    }
};

QTEST_MAIN(tst_DiagnosticDialog)
#include "tst_diagnosticdialog.moc"
