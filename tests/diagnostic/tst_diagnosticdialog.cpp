#include "diagnosticdialog.h"

#include "configurationdata.h"
#include "cticonnector.h"
#include "demoserver.h"
#include "testenvironment.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

class tst_DiagnosticDialog : public QObject
{
    Q_OBJECT

private:
    // The dialog talks to the process's one connector: its settings folder must outlive it.
    TestEnvironment environment;
    DemoServer server;

    void storeSettings(const QByteArray &text) { environment.writeSettingsFile(text); }

    void storeServerSettings()
    {
        ConfigurationData settings;
        settings.setServer(QStringLiteral("127.0.0.1"));
        settings.setPort(server.port());
        settings.setUserName(QStringLiteral("demo"));
        settings.setPassword(QStringLiteral("demo"));
        QVERIFY(settings.synchronize());
    }

    static QString storedMessage()
    {
        ConfigurationData settings;
        settings.loadData();
        return settings.getMessage();
    }

    template <class Widget>
    static Widget *child(QWidget *dialog, const char *name)
    {
        return dialog->findChild<Widget *>(QLatin1String(name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.listen());
        if (QTimer *timer = CTIConnector::instance()->findChild<QTimer *>())
            timer->stop();
    }

    void cleanup() { CTIConnector::instance()->stop(); }

    void shouldBuildTheForm_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("button row") << "horizontalLayoutWidget_4" << QRect(10, 140, 261, 31) << QString();
        QTest::newRow("field grid") << "gridLayoutWidget" << QRect(9, 11, 261, 111) << QString();
        QTest::newRow("test button") << "test_btn" << QRect() << "Testverbindung";
        QTest::newRow("server label") << "label" << QRect() << "Server: ";
        QTest::newRow("user label") << "label_2" << QRect() << "Benutzer:";
        QTest::newRow("password label") << "label_3" << QRect() << "Passwort:";
    }

    void shouldBuildTheForm()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        storeSettings("[UserData]\r\n");
        DiagnosticDialog dialog;
        QWidget *widget = dialog.findChild<QWidget *>(name);
        QVERIFY(widget);
        if (geometry.isValid())
            QCOMPARE(widget->geometry(), geometry);
        if (auto *label = qobject_cast<QLabel *>(widget))
            QCOMPARE(label->text(), text);
        if (auto *button = qobject_cast<QPushButton *>(widget))
            QCOMPARE(button->text(), text);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
        QCOMPARE(dialog.size(), QSize(280, 188));

        auto *grid = child<QGridLayout>(&dialog, "gridLayout");
        const QList<QPair<const char *, QPair<int, int>>> cells = {
            {"server", {0, 1}}, {"username", {1, 1}}, {"password", {2, 1}}};
        for (const auto &cell : cells) {
            auto *field = child<QLineEdit>(&dialog, cell.first);
            QVERIFY(!field->isEnabled());
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(grid->indexOf(field), &row, &column, &rowSpan, &columnSpan);
            QCOMPARE(qMakePair(row, column), cell.second);
        }
    }

    void shouldShowTheStoredSettings()
    {
        storeSettings("[UserData]\r\nserver=pbx.example\r\nuserName=anna\r\npassword=c2VjcmV0\r\n"
                      "message=Authentication failed\r\n");
        DiagnosticDialog dialog;
        QCOMPARE(child<QLineEdit>(&dialog, "server")->text(), QStringLiteral("pbx.example:28888"));
        QCOMPARE(child<QLineEdit>(&dialog, "username")->text(), QStringLiteral("anna"));
        auto *password = child<QLineEdit>(&dialog, "password");
        QCOMPARE(password->text(), QStringLiteral("secret"));
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QVERIFY(password->displayText() != QLatin1String("secret"));
        QCOMPARE(child<QLabel>(&dialog, "status")->text(), QStringLiteral("Authentication failed"));
    }

    void shouldStartWithAnEmptyStatusWithoutAStoredMessage()
    {
        storeSettings("[UserData]\r\nserver=pbx.example\r\nport=5000\r\n");
        DiagnosticDialog dialog;
        QCOMPARE(child<QLineEdit>(&dialog, "server")->text(), QStringLiteral("pbx.example:5000"));
        QCOMPARE(child<QLabel>(&dialog, "status")->text(), QString());
    }

    void shouldShowEveryStatusOfTheClient()
    {
        storeServerSettings();
        QStringList shown; // outlives the dialog, whose destructor still reports
        DiagnosticDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *status = child<QLabel>(&dialog, "status");
        connect(CTIConnector::instance(), &CTIConnector::clientState, &dialog,
                [&] { shown.append(status->text()); });

        QTest::mouseClick(child<QPushButton>(&dialog, "test_btn"), Qt::LeftButton);
        QTRY_COMPARE(status->text(), QStringLiteral("Logged in"));
        QCOMPARE(shown, (QStringList{QStringLiteral("Trying to connect to server ..."),
                                     QStringLiteral("Connected to server"), QStringLiteral("Logged in")}));

        shown.clear();
        QTest::mouseClick(child<QPushButton>(&dialog, "test_btn"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(&dialog, "test_btn"), Qt::LeftButton);
        QTRY_COMPARE(status->text(), QStringLiteral("Logged in"));
        QCOMPARE(shown.mid(0, 4), (QStringList{QStringLiteral("Disconnected from server"),
                                               QStringLiteral("Trying to connect to server ..."),
                                               QStringLiteral("Disconnected from server"),
                                               QStringLiteral("Trying to connect to server ...")}));
        QTRY_COMPARE(server.clientCount(), 1);
    }

    void shouldStoreTheDisconnectionWhenClosedWhileConnected()
    {
        storeServerSettings();
        auto dialog = std::make_unique<DiagnosticDialog>();
        QSignalSpy states(CTIConnector::instance(), &CTIConnector::clientState);
        QTest::mouseClick(child<QPushButton>(dialog.get(), "test_btn"), Qt::LeftButton);
        QTRY_COMPARE(child<QLabel>(dialog.get(), "status")->text(), QStringLiteral("Logged in"));

        dialog.reset();
        QCOMPARE(storedMessage(), QStringLiteral("Disconnected from server"));
        // Status texts after the dialog is gone must not reach its label.
        CTIConnector::instance()->login();
        QTRY_COMPARE(states.last().first().toString(), QStringLiteral("Logged in"));
    }
};

QTEST_MAIN(tst_DiagnosticDialog)
#include "tst_diagnosticdialog.moc"
