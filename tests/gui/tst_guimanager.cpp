#include "GuiRig.h"
#include "LogCapture.h"
#include "Logger.h"

#include "Board.h"
#include "Ethernet.h"
#include "EventManager.h"
#include "Network.h"
#include "SessionManager.h"
#include "Validator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

namespace {
const QString kValid = QStringLiteral("/opt/vexa/ticora/Valid.wav");
const QString kInvalid = QStringLiteral("/opt/vexa/ticora/Invalid.wav");

QJsonObject refused(int id)
{
    return QJsonObject{{"result", false}, {"type", 2}, {"denyReason", QJsonObject{{"id", id}}}};
}
} // namespace

class TestGuiManager : public QObject
{
    Q_OBJECT
private slots:
    void startsBusyAndChoosesIdleAfterTimeout()
    {
        GuiRig f;
        QCOMPARE(f.gui->screen(), QString("Busy"));
        QCOMPARE(f.gui->deviceId(), QString("K12345678"));
        f.setValidator("online");
        QCOMPARE(f.gui->screen(), QString("ScanScreens"));
    }

    void idleRule_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("readerTopic");
        QTest::newRow("init") << "init" << "Busy" << "";
        QTest::newRow("online") << "online" << "ScanScreens" << "vexa/rfid/enable";
        QTest::newRow("degraded") << "degraded" << "ScanScreens" << "vexa/barcode/enable";
        QTest::newRow("out-of-service") << "out-of-service" << "OutOfService" << "";
        QTest::newRow("offline") << "offline" << "OutOfOrder" << "";
    }
    void idleRule()
    {
        QFETCH(QString, status);
        QFETCH(QString, screen);
        QFETCH(QString, readerTopic);
        GuiRig f;
        f.setValidator(status);
        QCOMPARE(f.gui->screen(), screen);
        if (!readerTopic.isEmpty())
            QCOMPARE(f.countOn(readerTopic), 1);
        if (status == "init")
            QCOMPARE(f.gui->message(), QString("Please Wait"));
        if (status == "offline") {
            QCOMPARE(f.gui->message(), QString("#0002"));
            // Readers are only switched off when the service reported them on.
            f.inject("vexa/blm/status", QJsonObject{{"service", false},
                                                    {"device", QJsonObject{{"rfid", QJsonObject{{"state", 2}}}}}});
            QCOMPARE(f.countOn("vexa/rfid/disable"), 0); // status unchanged: no idle decision
        }
    }

    void emptyDeviceIdAlwaysShowsInitPage()
    {
        GuiRig f(QString(""));
        QVERIFY(f.gui->deviceId().isEmpty());
        for (const char* s : {"online", "init", "offline", "out-of-service"}) {
            f.setValidator(s);
            QCOMPARE(f.gui->screen(), QString("InitPage"));
        }
        f.gui->saveDeviceIdRequest("K00000001");
        QCOMPARE(f.gui->screen(), QString("OutOfService"));
    }

    void showErrorDescAppendsReason()
    {
        GuiRig f(QStringLiteral("K1"), {{"gui/showErrorDesc", true}});
        f.setValidator("offline");
        QCOMPARE(f.gui->message(), QString("#0002\nBLM service down"));
    }

    void validationResults_data()
    {
        QTest::addColumn<QJsonObject>("transaction");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("sound");
        QTest::newRow("valid") << QJsonObject{{"result", true}, {"type", 2}} << "Valid" << kValid;
        QTest::newRow("103") << refused(103) << "AlreadyValid" << kInvalid;
        QTest::newRow("207") << refused(207) << "AlreadyValid" << kInvalid;
        QTest::newRow("102") << refused(102) << "Invalid" << kInvalid;
        QTest::newRow("208") << refused(208) << "Invalid" << kInvalid;
    }
    void validationResults()
    {
        QFETCH(QJsonObject, transaction);
        QFETCH(QString, screen);
        QFETCH(QString, sound);
        GuiRig f;
        f.setValidator("online");
        f.scan(transaction);
        QCOMPARE(f.gui->screen(), screen);
        QCOMPARE(f.soundsPlayed(), QStringList{sound});
        QCOMPARE(f.gui->transactionMap().value("valid").toBool(), transaction.value("result").toBool());
        // No LED on this path.
        QCOMPARE(f.countOn("vexa/board/led/play/request/1"), 0);
        // The result stays for 3000 ms, then the idle screen returns.
        QTRY_COMPARE_WITH_TIMEOUT(f.gui->screen(), QString("ScanScreens"), 15000);
    }

    void sessionKeepsScreenButUpdatesTransaction()
    {
        GuiRig f;
        f.setValidator("online");
        f.gui->settingsLoginRequest("7391");
        f.gui->setMaintenanceScreen();
        QCOMPARE(f.gui->screen(), QString("Settings"));
        f.scan(QJsonObject{{"result", true}, {"type", 8}, {"fareProductName", "Monthly"}});
        f.inject("vexa/blm/rfid/retry", {});
        QCOMPARE(f.gui->screen(), QString("Settings"));
        QVERIFY(f.soundsPlayed().isEmpty());
        QCOMPARE(f.gui->transactionMap().value("fareProduct").toString(), QString("Monthly"));
        // Status changes leave the settings alone while the technician works.
        f.setValidator("offline");
        QCOMPARE(f.gui->screen(), QString("Settings"));
        // Logout brings the idle rule back.
        f.gui->settingsLogoutRequest();
        QCOMPARE(f.gui->screen(), QString("OutOfOrder"));
    }

    void retryShowsRetryThenIdle()
    {
        GuiRig f;
        f.setValidator("online");
        f.inject("vexa/blm/rfid/retry", {});
        QCOMPARE(f.gui->screen(), QString("Retry"));
        QCOMPARE(f.soundsPlayed(), QStringList{kInvalid});
        QTRY_COMPARE_WITH_TIMEOUT(f.gui->screen(), QString("ScanScreens"), 15000);
    }

    void setScreenWithTimeoutReemits()
    {
        GuiRig f;
        f.setValidator("online");
        QSignalSpy spy(f.gui.get(), &GUIManager::screenChanged);
        f.gui->setScreen("ScanScreens");
        QCOMPARE(spy.size(), 0);
        f.gui->setScreen("ScanScreens", 100000);
        QCOMPARE(spy.size(), 1);
    }

    void ignitionOffAndOn()
    {
        GuiRig f;
        f.setValidator("online");
        f.gui->settingsLoginRequest("7391");
        QVERIFY(f.gui->session()->sessionActive());
        QStringList logs;
        static QStringList* sink;
        sink = &logs;
        auto old = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) { sink->append(m); });
        f.setIgnition(false);
        f.setIgnition(true);
        f.setIgnition(false);
        qInstallMessageHandler(old);
        QVERIFY(!f.gui->session()->sessionActive());
        QCOMPARE(f.gui->screen(), QString("ScreenSaver"));
        QVERIFY(logs.contains("[Inspector] Scheduling System shutdown in : 60 sec(s)"));
        QVERIFY(logs.contains("[Inspector] Aborting System shutdown"));
        // Ignition back on: the idle screen again.
        f.setIgnition(true);
        QCOMPARE(f.gui->screen(), QString("ScanScreens"));
        // A validator status change also replaces the screen saver.
        f.setIgnition(false);
        f.setValidator("degraded");
        QCOMPARE(f.gui->screen(), QString("ScanScreens"));
    }

    void boardShutdownDelayFollowsConfig()
    {
        GuiRig f(QStringLiteral("K1"), {{"gui/shutdownDelaySec", 120}});
        f.inject("vexa/board/config", QJsonObject{{"device", QJsonObject{{"delayShutdownFor", 30}}}});
        QCOMPARE(f.countOn("vexa/board/config/set"), 1);
        QCOMPARE(QJsonDocument::fromJson(f.transport->payloadsOn("vexa/board/config/set").last()).object(),
                 (QJsonObject{{"device", QJsonObject{{"delayShutdownFor", 180}}}}));
        f.inject("vexa/board/config", QJsonObject{{"device", QJsonObject{{"delayShutdownFor", 180}}}});
        f.gui->setShutdownDelaySec(120);
        QCOMPARE(f.countOn("vexa/board/config/set"), 1);
        f.gui->setShutdownDelaySec(30);
        QCOMPARE(f.gui->shutdownDelaySec(), 30);
        QCOMPARE(f.countOn("vexa/board/config/set"), 2);
    }

    void displayOffRule()
    {
        GuiRig f;
        f.gui->setDisplayOffMin(1);
        f.inject("vexa/board/power", QJsonObject{{"display", true}});
        auto displayTimer = [&f]() -> QTimer* {
            for (QTimer* t : f.gui->findChildren<QTimer*>())
                if (t->isActive() && t->interval() == 60000)
                    return t;
            return nullptr;
        };
        // Both fault screens start the one-minute timer.
        f.setValidator("offline");
        QCOMPARE(f.gui->screen(), QString("OutOfOrder"));
        QVERIFY(displayTimer());
        f.setValidator("out-of-service");
        QCOMPARE(f.gui->screen(), QString("OutOfService"));
        QTimer* timer = displayTimer();
        QVERIFY(timer);
        // When it runs out the display is switched off.
        timer->start(10);
        QTRY_COMPARE_WITH_TIMEOUT(f.countOn("vexa/board/power/set"), 1, 10000);
        QCOMPARE(QJsonDocument::fromJson(f.transport->payloadsOn("vexa/board/power/set").last()).object(),
                 (QJsonObject{{"display", false}}));
        f.inject("vexa/board/power", QJsonObject{{"display", false}});
        // Back on a normal screen the timer is stopped and the display switched on again.
        f.setValidator("offline");
        QVERIFY(displayTimer());
        f.setValidator("online");
        QVERIFY(!displayTimer());
        QCOMPARE(f.countOn("vexa/board/power/set"), 2);
        QCOMPARE(QJsonDocument::fromJson(f.transport->payloadsOn("vexa/board/power/set").last()).object(),
                 (QJsonObject{{"display", true}}));
    }

    void displayOffDisabledAtZero()
    {
        GuiRig f(QStringLiteral("K1"), {{"gui/displayOffMin", 0}});
        f.setValidator("offline");
        f.setValidator("online");
        f.setValidator("out-of-service");
        QCOMPARE(f.countOn("vexa/board/power/set"), 0);
    }

    void configChangeReactsToFirstKeyOnly()
    {
        GuiRig f;
        QSignalSpy cursor(f.gui.get(), &GUIManager::showCursorChanged);
        QSignalSpy language(f.gui.get(), &GUIManager::languageChanged);
        const int before = f.countOn("vexa/ui/config");
        f.config->fromJson(QJsonObject{{"gui", QJsonObject{{"showCursor", false}, {"locale", "en_US"}}}});
        QCOMPARE(cursor.size(), 1);
        QCOMPARE(language.size(), 0);
        QCOMPARE(f.countOn("vexa/ui/config"), before + 1);
        f.config->set("gui/settingsPin", "1111");
        QCOMPARE(f.countOn("vexa/ui/config"), before + 2);
    }

    void languageSwitch()
    {
        GuiRig f;
        QSignalSpy spy(f.gui.get(), &GUIManager::languageChanged);
        f.gui->setLanguage("el_GR");
        QCOMPARE(f.gui->language(), QString("el_GR"));
        QCOMPARE(QCoreApplication::translate("GUIManager", "Please Wait") == "Please Wait", false);
        f.gui->setLanguage("en_US");
        QCOMPARE(QCoreApplication::translate("GUIManager", "Please Wait"), QString("Please Wait"));
        f.gui->setLanguage("de_DE");
        QVERIFY(QCoreApplication::translate("GUIManager", "Please Wait") != "Please Wait");
        f.gui->setLanguage("en_IE");
        QCOMPARE(QCoreApplication::translate("GUIManager", "Please Wait"), QString("Please Wait"));
        QCOMPARE(spy.size(), 4);
        QCOMPARE(f.config->get("gui/locale").toString(), QString("en_IE"));
    }

    void deviceIdFile()
    {
        GuiRig f(QStringLiteral("\n\n  K12345678  \nX\n"));
        QCOMPARE(f.gui->deviceId(), QString("K12345678"));
        QSignalSpy spy(f.gui.get(), &GUIManager::deviceIdChanged);
        f.config->set("gui/deviceId", f.config->get("gui/deviceId").toString() + "2");
        QCOMPARE(spy.size(), 0); // a missing file keeps the id
        QCOMPARE(f.gui->deviceId(), QString("K12345678"));
        f.gui->saveDeviceIdRequest("C00000001");
        QFile saved(f.config->get("gui/deviceId").toString());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("C00000001"));
        saved.close();
        // Anything but C or K and eight digits is refused and the file left alone.
        for (const char* bad : { "N-1", "k12345678", "K1234567", "K123456789", "CK1234567", "" })
            f.gui->saveDeviceIdRequest(QString::fromLatin1(bad));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("C00000001"));
        QCOMPARE(f.gui->deviceId(), QString("C00000001"));
        // Reloading the same id still notifies.
        f.config->set("gui/deviceId", f.dir.filePath("serialnumber"));
        QCOMPARE(spy.size(), 2);
    }

    // Replaced whole, never truncated in place (a power cut would leave it empty):
    // a second name for the old file still holds the old id.
    void deviceIdReplacedWhole()
    {
        GuiRig f;
        const QString path = f.config->get("gui/deviceId").toString();
        QCOMPARE(::link(qPrintable(path), qPrintable(path + ".old")), 0);
        f.gui->saveDeviceIdRequest("C00000001");
        QFile old(path + ".old"), saved(path);
        QVERIFY(old.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("K12345678"));
        QCOMPARE(saved.readAll(), QByteArray("C00000001"));
    }

    void deviceIdUnwritable()
    {
        GuiRig f;
        QSignalSpy error(f.gui.get(), &GUIManager::errorOccured);
        // A directory in place of the file cannot be opened for writing, even by root.
        f.config->set("gui/deviceId", f.dir.path());
        f.gui->saveDeviceIdRequest("K00000002");
        QCOMPARE(error.size(), 1);
        QCOMPARE(f.gui->deviceId(), QString("K00000002"));
    }

    void maintenanceBarcode()
    {
        GuiRig f;
        QSignalSpy applied(f.gui.get(), &GUIManager::barcodeConfigurationApplied);
        const QJsonObject validator{{"validator", QJsonObject{{"obc", "mqtt://u:p@10.0.0.2:1883"}}}};
        f.inject("vexa/blm/barcode/maintenance/scanned", validator);
        QCOMPARE(applied.size(), 0); // no session
        f.gui->settingsLoginRequest("7391");
        f.inject("vexa/blm/barcode/maintenance/scanned", validator);
        QCOMPARE(applied.size(), 1);
        QCOMPARE(applied.at(0).at(0).toStringList(), QStringList { "OBC : mqtt://u@10.0.0.2:1883" });
        QCOMPARE(f.countOn("vexa/blm/config/set"), 1);
        QCOMPARE(f.soundsPlayed(), QStringList{kValid});
        QCOMPARE(f.countOn("vexa/board/led/play/request/1"), 1);

        // Ethernet part on another interface: nothing applied, nothing played.
        f.inject("vexa/network/ethernet/state", QJsonObject{{"interface", "eth1"}});
        const QJsonObject net{{"network", QJsonObject{{"eth0", QJsonObject{{"method", "manual"},
                                                                           {"address", "192.168.1.10"}}}}}};
        f.inject("vexa/blm/barcode/maintenance/scanned", net);
        QCOMPARE(applied.size(), 1);
        QCOMPARE(f.soundsPlayed().size(), 1);

        // On eth0 but failing the Ethernet page's own checks: warned, told, nothing applied.
        f.inject("vexa/network/ethernet/state", QJsonObject{{"interface", "eth0"}});
        QSignalSpy error(f.gui.get(), &GUIManager::errorOccured);
        f.inject("vexa/blm/barcode/maintenance/scanned", net);
        QCOMPARE(applied.size(), 1);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error.at(0).at(0).toString(),
            f.gui->network()->ethernet()->checkConfig("manual", "192.168.1.10", "", "", "", ""));
        QCOMPARE(f.countOn("vexa/network/ethernet/config/set"), 0);
        QVERIFY(f.gui->network()->ethernet()->method() != QLatin1String("manual"));

        // Complete: applied in order.
        const QJsonObject good { { "network",
            QJsonObject { { "eth0",
                QJsonObject {
                    { "method", "manual" }, { "address", "192.168.1.10" }, { "netmask", "255.255.255.0" } } } } } };
        f.inject("vexa/blm/barcode/maintenance/scanned", good);
        QCOMPARE(applied.size(), 2);
        QCOMPARE(applied.at(1).at(0).toStringList(),
            (QStringList { "Method : manual", "Address : 192.168.1.10", "Netmask : 255.255.255.0",
                "Gateway : ", "DNS #0 : ", "DNS #1 : " }));
        QCOMPARE(f.countOn("vexa/network/ethernet/config/set"), 1);

        // Invalid URL: warned, nothing applied.
        f.inject("vexa/blm/barcode/maintenance/scanned", QJsonObject{{"validator", QJsonObject{{"obc", 5}}}});
        QCOMPARE(applied.size(), 2);
        // Junk instead of the Ethernet object never switches to automatic addressing.
        f.inject("vexa/blm/barcode/maintenance/scanned", QJsonObject{{"network", QJsonObject{{"eth0", 7}}}});
        QCOMPARE(applied.size(), 2);
        QCOMPARE(f.countOn("vexa/network/ethernet/config/set"), 1);
    }

    void largeDelaysDoNotWrap()
    {
        GuiRig f(
            QStringLiteral("K12345678"), { { "gui/displayOffMin", INT_MAX }, { "gui/shutdownDelaySec", INT_MAX } });
        f.inject("vexa/board/config", QJsonObject { { "device", QJsonObject { { "delayShutdownFor", 30 } } } });
        QCOMPARE(QJsonDocument::fromJson(f.transport->payloadsOn("vexa/board/config/set").last()).object(),
            (QJsonObject { { "device", QJsonObject { { "delayShutdownFor", INT_MAX } } } }));
        f.setValidator("offline");
        QCOMPARE(f.gui->screen(), QString("OutOfOrder"));
        bool displayTimerLong = false;
        for (QTimer* t : f.gui->findChildren<QTimer*>())
            displayTimerLong = displayTimerLong || (t->isActive() && t->interval() == INT_MAX);
        QVERIFY(displayTimerLong);
    }

    void screenTimeoutIsNeverEarly()
    {
        GuiRig f;
        f.setValidator("online");
        QElapsedTimer clock;
        clock.start();
        f.gui->setScreen("Valid", 3000);
        QTRY_COMPARE_WITH_TIMEOUT(f.gui->screen(), QString("ScanScreens"), 20000);
        QVERIFY2(clock.elapsed() >= 3000, qPrintable(QString::number(clock.elapsed())));
    }

    void damagedFilesAreReported()
    {
        manager::Logger::instance(); // installed first, so the capture below stays on top
        LogCapture log;
        {
            GuiRig empty(QStringLiteral("  \n"));
            GuiRig garbage(QStringLiteral("\x01\x02zz"));
        }
        QCOMPARE(log.lines().filter("WARN: Device id file is empty").size(), 1);
        QCOMPARE(log.lines().filter("WARN: Device id file holds no valid device id").size(), 1);

        QTemporaryDir dir;
        const QString path = dir.filePath("events.ini");
        const QByteArray junk("\x89PNG\r\n\x1a\n not an event log \xff");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(junk);
        file.close();
        Config config(dir.filePath("gui.conf"), GUIManager::Defaults);
        EventManager events(config, path);
        QCOMPARE(log.lines().filter("[EventManager] WARN: Event file " + path + " is damaged").size(), 1);
        QFile kept(path + ".damaged");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), junk);
    }

    void maintenanceGestureTogglesLogin()
    {
        GuiRig f;
        f.setValidator("online");
        f.gui->setMaintenanceScreen();
        QCOMPARE(f.gui->screen(), QString("Login"));
        f.gui->setMaintenanceScreen();
        QCOMPARE(f.gui->screen(), QString("ScanScreens"));
        // Disconnection while on the login page leaves it alone: no out-of-order screen,
        // no "Disconnected" message (the validator's reason code still follows).
        f.gui->setMaintenanceScreen();
        f.transport->drop();
        QCOMPARE(f.gui->screen(), QString("Login"));
        QCOMPARE(f.gui->message(), QString("#0001"));
    }

    void eventsLogged()
    {
        GuiRig f;
        f.gui->settingsLoginRequest("7391");
        f.gui->settingsLogoutRequest();
        f.setIgnition(false);
        QStringList names;
        for (QObject* o : f.gui->eventLog()->data())
            names << o->property("name").toString();
        QVERIFY(names.contains("Maintenance login"));
        QVERIFY(names.contains("Maintenance logout"));
        QVERIFY(names.contains("Ignition off"));
    }
};

QTEST_MAIN(TestGuiManager)
#include "tst_guimanager.moc"
