#include "Board.h"
#include "ClientFixture.h"
#include "ServiceClient.h"

#include <QSignalSpy>
#include <QtTest>

using manager::Board;

namespace {

const QString B = QStringLiteral("vexa/board");

struct Fixture : ClientFixture<Board> {
    Board& board = client;
    Fixture() : ClientFixture(QStringLiteral("[Board] "), B) {}
};

const QByteArray fullStatus = R"({"service": true, "device": {"active": true, "ignition": false, "poleId": "P-17",
    "temperature": 41.5, "voltage": 23.9, "uptime": 3000000000, "hardwareStatus": {"rtcFailed": true}}})";

} // namespace

class TestBoard : public QObject
{
    Q_OBJECT
private slots:
    void subscribesOnceAndRefreshesOnEveryConnection()
    {
        checkRefreshOnConnection<Board>(QStringLiteral("[Board] "), B,
            { B + "/info", B + "/status", B + "/config", B + "/display", B + "/power", B + "/audio", B + "/event" },
            { B + "/status/get", B + "/display/get", B + "/power/get", B + "/audio/get" });
    }

    void monitorRefreshesUntilStopped()
    {
        Fixture f;
        checkMonitor(f);
    }

    void ledPatternsAreByteExact()
    {
        Fixture f;
        const QString topic = B + "/led/play/request/1";

        f.board.setLedValid();
        QCOMPARE(f.only().topic, topic);
        QCOMPARE(f.only().payload, QByteArray(R"({
    "repeat": 3,
    "steps": [
        {
            "color": {
                "b": 0,
                "g": 255,
                "r": 0
            },
            "duration": 100
        },
        {
            "color": {
                "b": 0,
                "g": 0,
                "r": 0
            },
            "duration": 50
        }
    ]
}
)"));
        QCOMPARE(f.log.lines(), QStringList { "Setting LEDs to : VALID" });
        f.reset();

        f.board.setLedInvalid();
        QCOMPARE(f.only().topic, topic);
        QCOMPARE(f.only().payload, QByteArray(R"({
    "repeat": 3,
    "steps": [
        {
            "color": {
                "b": 0,
                "g": 0,
                "r": 255
            },
            "duration": 100
        },
        {
            "color": {
                "b": 0,
                "g": 0,
                "r": 0
            },
            "duration": 50
        }
    ]
}
)"));
        QCOMPARE(f.log.lines(), QStringList { "Setting LEDs to : INVALID" });
        f.reset();

        f.board.setLedTestPattern();
        QCOMPARE(f.only().topic, topic);
        QCOMPARE(f.only().payload, QByteArray(R"({
    "repeat": 30,
    "steps": [
        {
            "color": {
                "b": 0,
                "g": 0,
                "r": 255
            },
            "duration": 1000
        },
        {
            "color": {
                "b": 0,
                "g": 0,
                "r": 0
            },
            "duration": 200
        },
        {
            "color": {
                "b": 0,
                "g": 255,
                "r": 0
            },
            "duration": 1000
        },
        {
            "color": {
                "b": 0,
                "g": 0,
                "r": 0
            },
            "duration": 200
        }
    ]
}
)"));
        QCOMPARE(f.log.lines(), QStringList { "Setting LEDs to : TEST" });
        f.reset();

        f.board.setLedOff();
        QCOMPARE(f.only().topic, B + "/led/off/request/1");
        QCOMPARE(f.only().payload, QByteArray());
        QVERIFY(f.log.lines().isEmpty());
        QCOMPARE(f.only().qos, quint8(0));
        QCOMPARE(f.only().retain, false);
    }

    void requestsAreByteExactAndLeaveStateAlone()
    {
        Fixture f;
        f.inject("/display", R"({"brightness": 40, "sensor": 10, "mode": "auto"})");
        f.inject("/power", R"({"display": true})");
        f.reset();

        f.board.playBuzzer(100, 200, 3);
        f.board.playBuzzer(100, 200);
        f.board.setPeripheralPower("display", false);
        f.board.setDisplayBrightness(70);
        f.board.setDisplayBrightnessMode("manual");
        f.board.setAudioEnabled(false);
        f.board.setAudioEnabled(true);

        const auto& p = f.m.transport->published;
        QCOMPARE(p.size(), 7);
        QCOMPARE(p[0].topic, B + "/buzzer/play/request/1");
        QCOMPARE(p[0].payload, QByteArray("{\n    \"offMsec\": 200,\n    \"onMsec\": 100,\n    \"repeat\": 3\n}\n"));
        QCOMPARE(p[1].topic, B + "/buzzer/play/request/1");
        QCOMPARE(p[1].payload, QByteArray("{\n    \"offMsec\": 200,\n    \"onMsec\": 100,\n    \"repeat\": 0\n}\n"));
        QCOMPARE(p[2].topic, B + "/power/set");
        QCOMPARE(p[2].payload, QByteArray("{\n    \"display\": false\n}\n"));
        QCOMPARE(p[3].topic, B + "/display/set");
        QCOMPARE(p[3].payload, QByteArray("{\n    \"brightness\": 70\n}\n"));
        QCOMPARE(p[4].topic, B + "/display/set");
        QCOMPARE(p[4].payload, QByteArray("{\n    \"mode\": \"manual\"\n}\n"));
        QCOMPARE(p[5].topic, B + "/audio/set");
        QCOMPARE(p[5].payload, QByteArray("{\n    \"mute\": true\n}\n"));
        QCOMPARE(p[6].payload, QByteArray("{\n    \"mute\": false\n}\n"));
        for (const auto& one : p) {
            QCOMPARE(one.qos, quint8(0));
            QCOMPARE(one.retain, false);
        }

        QCOMPARE(f.log.lines(),
            (QStringList { "Playing buzzer : on=100 msec, off=200 msec, repeat=3",
                "Playing buzzer : on=100 msec, off=200 msec, repeat=0", "Setting peripheral power: display (false)",
                "Setting display brightness : 70", "Setting display brightness mode : manual",
                "Setting audio enabled : false", "Setting audio enabled : true" }));
        // Only the service's reports change what the properties say.
        QCOMPARE(f.signals_.fired(), QStringList());
        QCOMPARE(f.board.peripheralPower("display"), true);
        QCOMPARE(f.board.displayBrightness(), 40);
        QCOMPARE(f.board.displayBrightnessMode(), QString("auto"));
        QCOMPARE(f.board.audioEnabled(), true);
    }

    void shutdownDelayChangesOnlyWhenTheServiceReports()
    {
        Fixture f;
        f.board.setDelayShutdownFor(0); // already stored
        QVERIFY(f.m.transport->published.isEmpty());

        f.board.setDelayShutdownFor(960);
        QCOMPARE(f.only().topic, B + "/config/set");
        QCOMPARE(f.only().payload, QByteArray("{\n    \"device\": {\n        \"delayShutdownFor\": 960\n    }\n}\n"));
        QCOMPARE(f.log.lines(), QStringList { "Setting board shutdown delay : 960 sec(s)" });
        QCOMPARE(f.board.delayShutdownFor(), 0);
        QCOMPARE(f.signals_.fired(), QStringList());
        f.reset();

        f.inject("/config", R"({"device": {"delayShutdownFor": 960}})");
        QCOMPARE(f.board.delayShutdownFor(), 960);
        QCOMPARE(f.signals_.fired(), QStringList { "delayShutdownForChanged x1" });
        QCOMPARE(f.log.lines(),
            (QStringList { "Processing config topic vexa/board/config", "Board shutdown delay changed : 960 sec(s)" }));
        f.reset();

        f.board.setDelayShutdownFor(960);
        f.inject("/config", R"({"device": {"delayShutdownFor": 960}})");
        QVERIFY(f.m.transport->published.isEmpty());
        QCOMPARE(f.signals_.fired(), QStringList());

        f.inject("/config", R"({"device": {"delayShutdownFor": "120"}})");
        QCOMPARE(f.board.delayShutdownFor(), 0);
        QCOMPARE(f.signals_.fired(), QStringList { "delayShutdownForChanged x1" });
    }

    void statusStoresDeviceValuesAndRepeatsSilently()
    {
        Fixture f;
        f.inject("/status", fullStatus);
        QCOMPARE(f.board.status(), QString("online"));
        QCOMPARE(f.board.ignition(), false);
        QCOMPARE(f.board.poleId(), QString("P-17"));
        QCOMPARE(f.board.temperature(), 41.5);
        QCOMPARE(f.board.voltage(), 23.9);
        QCOMPARE(f.board.uptime(), Q_INT64_C(3000000000));
        QCOMPARE(f.board.rtcFailed(), true);
        QCOMPARE(f.signals_.fired(),
            (QStringList { "statusChanged x1", "ignitionChanged x1", "poleIdChanged x1", "temperatureChanged x1",
                "voltageChanged x1", "uptimeChanged x1", "rtcFailedChanged x1" }));
        QCOMPARE(f.log.lines(),
            (QStringList { "Processing status topic vexa/board/status", "Status changed : online",
                "Ignition changed : false", "Pole Id changed : P-17", "Temperature changed : 41.5",
                "Voltage changed : 23.9", "Uptime changed : 3000000000", "RTC Status changed : FAIL" }));
        f.reset();

        f.inject("/status", fullStatus);
        QCOMPARE(f.signals_.fired(), QStringList());
        QCOMPARE(f.log.lines(), QStringList { "Processing status topic vexa/board/status" });

        f.inject("/status", R"({"service": true, "device": {"active": true, "ignition": true, "poleId": "P-17",
            "temperature": 41.5, "voltage": 23.9, "uptime": 3000000001, "hardwareStatus": {"rtcFailed": false}}})");
        QCOMPARE(f.signals_.fired(), (QStringList { "ignitionChanged x1", "uptimeChanged x1", "rtcFailedChanged x1" }));
        QVERIFY(f.log.has(QtDebugMsg, "RTC Status changed : OK"));
        QVERIFY(f.log.has(QtDebugMsg, "Ignition changed : true"));
    }

    void statusDownKeepsTheLastDeviceValues()
    {
        Fixture f;
        f.inject("/status", fullStatus);
        f.reset();

        f.inject("/status", R"({"service": false, "device": {"active": true, "poleId": "other"}})");
        QCOMPARE(f.board.status(), QString("offline"));
        f.inject("/status", R"({"service": true, "device": {"poleId": "other", "ignition": true}})");
        QCOMPARE(f.board.status(), QString("error"));
        f.inject("/status", R"({"device": {"active": true}})");
        QCOMPARE(f.board.status(), QString("offline"));
        f.inject("/status", R"({"service": true, "device": {"active": "true"}})");
        QCOMPARE(f.board.status(), QString("error"));
        f.inject("/status", R"({"service": 1, "device": {"active": true}})");
        QCOMPARE(f.board.status(), QString("offline"));

        QCOMPARE(f.signals_.fired(), QStringList { "statusChanged x5" });
        QCOMPARE(f.board.poleId(), QString("P-17"));
        QCOMPARE(f.board.ignition(), false);
        QCOMPARE(f.board.uptime(), Q_INT64_C(3000000000));
        QCOMPARE(f.board.rtcFailed(), true);
        QCOMPARE(f.log.lines(QtInfoMsg),
            (QStringList { "Status changed : offline", "Status changed : error", "Status changed : offline",
                "Status changed : error", "Status changed : offline" }));
    }

    void statusMembersOfTheWrongTypeReadAsDefaults()
    {
        Fixture f;
        f.inject("/status", fullStatus);
        f.reset();
        f.inject("/status", R"({"service": true, "device": {"active": true, "ignition": "yes", "poleId": 17,
            "temperature": "41.5", "voltage": null, "uptime": -1e300, "hardwareStatus": [true]}})");
        QCOMPARE(f.board.status(), QString("online"));
        QCOMPARE(f.board.ignition(), false);
        QCOMPARE(f.board.poleId(), QString());
        QCOMPARE(f.board.temperature(), 0.0);
        QCOMPARE(f.board.voltage(), 0.0);
        QCOMPARE(f.board.uptime(), Q_INT64_C(0));
        QCOMPARE(f.board.rtcFailed(), false);
    }

    void displayReadsMissingMembersAsDefaults()
    {
        Fixture f;
        f.inject("/display", R"({"brightness": 80, "sensor": 35, "mode": "auto"})");
        QCOMPARE(f.board.displayBrightness(), 80);
        QCOMPARE(f.board.ambientLightSensor(), 35);
        QCOMPARE(f.board.displayBrightnessMode(), QString("auto"));
        QCOMPARE(f.signals_.fired(),
            (QStringList {
                "displayBrightnessChanged x1", "displayBrightnessModeChanged x1", "ambientLightSensorChanged x1" }));
        QCOMPARE(f.log.lines(QtDebugMsg),
            (QStringList { "Display brightness changed : 80", "Display sensor changed : 35",
                "Display brightness mode changed : auto" }));
        f.reset();

        f.inject("/display", R"({"brightness": 80, "sensor": 36, "mode": "auto"})");
        QCOMPARE(f.signals_.fired(), QStringList { "ambientLightSensorChanged x1" });
        f.reset();

        f.inject("/display", "");
        QCOMPARE(f.board.displayBrightness(), 0);
        QCOMPARE(f.board.ambientLightSensor(), 0);
        QCOMPARE(f.board.displayBrightnessMode(), QString());
        QCOMPARE(f.signals_.fired(),
            (QStringList {
                "displayBrightnessChanged x1", "displayBrightnessModeChanged x1", "ambientLightSensorChanged x1" }));
        f.reset();

        f.inject("/display", R"({"brightness": "90", "sensor": true, "mode": 3})");
        QCOMPARE(f.signals_.fired(), QStringList());
    }

    void powerSkipsNullsAndBuildsThePeripheralList()
    {
        Fixture f;
        QSignalSpy power(&f.board, &Board::peripheralPowerChanged);
        f.inject("/power", R"({"display": true, "touch": null})");
        QCOMPARE(power.size(), 1);
        QCOMPARE(power.at(0), (QVariantList { "display", true }));
        QCOMPARE(f.signals_.fired(), (QStringList { "peripheralPowerChanged x1", "peripheralsChanged x1" }));
        QCOMPARE(f.log.lines(), QStringList { "Peripheral power changed 'display' : true" });
        QCOMPARE(f.board.peripheralPower("display"), true);
        QCOMPARE(f.board.peripheralPower("touch"), false);
        QCOMPARE(f.board.peripherals(),
            (QVariantList { QVariantMap { { "item", "display" }, { "descr", "Display" }, { "value", true } } }));
        f.reset();
        power.clear();

        // A rail reported for the first time counts as a change, also when it is off.
        f.inject("/power", R"({"zeta": true, "usbHub": false, "display": true})");
        QCOMPARE(power.size(), 2);
        QCOMPARE(power.at(0), (QVariantList { "usbHub", false }));
        QCOMPARE(power.at(1), (QVariantList { "zeta", true }));
        QCOMPARE(f.signals_.fired(), (QStringList { "peripheralPowerChanged x2", "peripheralsChanged x1" }));
        QCOMPARE(f.board.peripherals(),
            (QVariantList { QVariantMap { { "item", "display" }, { "descr", "Display" }, { "value", true } },
                QVariantMap { { "item", "usbHub" }, { "descr", "USB Hub" }, { "value", false } },
                QVariantMap { { "item", "zeta" }, { "descr", "" }, { "value", true } } }));
        f.reset();

        f.inject("/power", R"({"zeta": true, "usbHub": false})");
        f.inject("/power", "");
        QCOMPARE(f.signals_.fired(), QStringList());

        f.board.setPeripherals({});
        QCOMPARE(f.log.lines(QtWarningMsg).size(), 1);
        QVERIFY(f.log.lines(QtWarningMsg).first().startsWith("--- SET PERIPHERALS : "));
        QCOMPARE(f.board.peripherals().size(), 3);
    }

    void peripheralLabels()
    {
        Fixture f;
        f.inject("/power", R"({"display": true, "ftdi": true, "mPCIe1": true, "mPCIe2": false, "qrReader": true,
            "rfidReader": true, "touch": true, "usbHost1": false, "usbHub": true})");
        QStringList labels;
        for (const auto& entry : f.board.peripherals())
            labels.append(entry.toMap().value("descr").toString());
        QCOMPARE(labels,
            (QStringList { "Display", "FTDI", "mPCIe #1", "mPCIe #2", "QR Reader", "RFID Reader", "Touch", "USB Host",
                "USB Hub" }));
    }

    void audioMuteDrivesAudioEnabled()
    {
        Fixture f;
        QCOMPARE(f.board.audioEnabled(), true);
        f.inject("/audio", R"({"mute": true})");
        QCOMPARE(f.board.audioEnabled(), false);
        f.inject("/audio", R"({"mute": true})");
        QCOMPARE(f.signals_.fired(), QStringList { "audioEnabledChanged x1" });
        f.inject("/audio", R"({"mute": "no"})");
        QCOMPARE(f.board.audioEnabled(), true);
        f.inject("/audio", "");
        QCOMPARE(f.signals_.fired(), QStringList { "audioEnabledChanged x2" });
        QVERIFY(f.log.lines().isEmpty());
    }

    void ignitionEvent_data()
    {
        QTest::addColumn<bool>("before");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("ignition");
        QTest::addColumn<QString>("line");
        QTest::newRow("number 0") << true << QByteArray(R"({"name": "IgnitionChanged", "data": 0})") << false
                                  << "Event received : IgnitionChanged [0]";
        QTest::newRow("text 0") << true << QByteArray(R"({"name": "IgnitionChanged", "data": "0"})") << false
                                << "Event received : IgnitionChanged [\"0\"]";
        QTest::newRow("number 0.0") << true << QByteArray(R"({"name": "IgnitionChanged", "data": 0.0})") << false
                                    << "Event received : IgnitionChanged [0]";
        QTest::newRow("number 1") << false << QByteArray(R"({"name": "IgnitionChanged", "data": 1})") << true
                                  << "Event received : IgnitionChanged [1]";
        QTest::newRow("text 1") << false << QByteArray(R"({"name": "IgnitionChanged", "data": "1"})") << true
                                << "Event received : IgnitionChanged [\"1\"]";
        QTest::newRow("true") << false << QByteArray(R"({"name": "IgnitionChanged", "data": true})") << true
                              << "Event received : IgnitionChanged [true]";
        QTest::newRow("false") << false << QByteArray(R"({"name": "IgnitionChanged", "data": false})") << true
                               << "Event received : IgnitionChanged [false]";
        QTest::newRow("missing") << false << QByteArray(R"({"name": "IgnitionChanged"})") << true
                                 << "Event received : IgnitionChanged [null]";
        QTest::newRow("unchanged on") << true << QByteArray(R"({"name": "IgnitionChanged", "data": 1})") << true
                                      << "Event received : IgnitionChanged [1]";
        QTest::newRow("unchanged off") << false << QByteArray(R"({"name": "IgnitionChanged", "data": 0})") << false
                                       << "Event received : IgnitionChanged [0]";
        QTest::newRow("text 00") << false << QByteArray(R"({"name": "IgnitionChanged", "data": "00"})") << true
                                 << "Event received : IgnitionChanged [\"00\"]";
    }

    void ignitionEvent()
    {
        QFETCH(bool, before);
        QFETCH(QByteArray, payload);
        QFETCH(bool, ignition);
        QFETCH(QString, line);
        Fixture f;
        if (!before) {
            f.inject("/event", R"({"name": "IgnitionChanged", "data": 0})");
            QCOMPARE(f.board.ignition(), false);
            f.reset();
        }
        f.inject("/event", payload);
        QCOMPARE(f.board.ignition(), ignition);
        // Announced every time, so that the ignition rules run again.
        QCOMPARE(f.signals_.fired(), QStringList { "ignitionChanged x1" });
        QCOMPARE(f.log.lines(), QStringList { line });
    }

    void otherEventsAreOnlyLogged()
    {
        Fixture f;
        f.inject("/event", R"({"name": "ignitionchanged", "data": 0})");
        f.inject("/event", R"({"name": "DoorOpened", "data": {"door": 2}})");
        f.inject("/event", R"({"name": ["IgnitionChanged"], "data": 0})");
        QCOMPARE(f.board.ignition(), true);
        QCOMPARE(f.signals_.fired(), QStringList());
        QCOMPARE(f.log.lines(),
            (QStringList { "Event received : ignitionchanged [0]", "Event received : DoorOpened [{\"door\":2}]",
                "Event received :  [0]" }));
    }

    void infoIsAnnouncedOnEveryMessage()
    {
        Fixture f;
        const QByteArray info = R"({"device": {"firmwareVersion": "2.4.1", "hardwareId": "HW-9",
            "hardwareVersion": "rev C"}, "service": {"version": "1.7.0"}})";
        f.inject("/info", info);
        f.inject("/info", info);
        QCOMPARE(f.board.info(),
            (QVariantMap {
                { "firmware", "2.4.1" }, { "hardwareId", "HW-9" }, { "hardware", "rev C" }, { "version", "1.7.0" } }));
        QCOMPARE(f.signals_.fired(), QStringList { "infoChanged x2" });
        QCOMPARE(f.log.lines(),
            (QStringList { "Processing info topic vexa/board/info", "Processing info topic vexa/board/info" }));

        f.inject("/info", R"({"device": {"firmwareVersion": 2}, "service": "1.7.0"})");
        QCOMPARE(f.board.info(),
            (QVariantMap { { "firmware", "" }, { "hardwareId", "" }, { "hardware", "" }, { "version", "" } }));
    }

    void badInputChangesNothing()
    {
        Fixture f;
        f.inject("/status", fullStatus);
        f.inject("/display", R"({"brightness": 80, "sensor": 35, "mode": "auto"})");
        f.inject("/power", R"({"display": true})");
        f.inject("/audio", R"({"mute": true})");
        f.inject("/config", R"({"device": {"delayShutdownFor": 960}})");
        f.reset();

        for (const char* suffix : { "/info", "/status", "/config", "/display", "/power", "/audio", "/event" }) {
            f.inject(suffix, "status: online");
            f.inject(suffix, "{\"service\": true,");
        }
        QCOMPARE(f.log.lines(QtCriticalMsg).size(), 14);
        for (const QString& line : f.log.lines(QtCriticalMsg)) {
            QVERIFY2(line.startsWith("Failed to parse JSON message: "), qPrintable(line));
            QVERIFY2(line.size() > int(strlen("Failed to parse JSON message: ")), qPrintable(line));
        }
        QCOMPARE(f.log.lines().size(), 14);
        QCOMPARE(f.signals_.fired(), QStringList());
        QCOMPARE(f.board.status(), QString("online"));
        QCOMPARE(f.board.poleId(), QString("P-17"));
        QCOMPARE(f.board.ignition(), false);
        QCOMPARE(f.board.displayBrightness(), 80);
        QCOMPARE(f.board.peripheralPower("display"), true);
        QCOMPARE(f.board.audioEnabled(), false);
        QCOMPARE(f.board.delayShutdownFor(), 960);
        f.reset();

        // Topics under the base that the board does not handle are parsed and ignored;
        // topics elsewhere are not even parsed.
        f.inject("/status/get", "{}");
        f.inject("/power/set", R"({"display": false})");
        f.inject("/statusx", R"({"service": false})");
        f.m.transport->inject("vexa/boardroom/status", R"({"service": false})");
        QVERIFY(f.log.lines().isEmpty());
        f.inject("/led/play/request/1", "not json");
        QCOMPARE(f.log.lines(QtCriticalMsg).size(), 1);
        f.m.transport->inject("vexa/inspector/status", "not json");
        f.m.transport->inject("vexa/blm/status", R"({"service": false})");
        QCOMPARE(f.log.lines().size(), 1);
        QCOMPARE(f.signals_.fired(), QStringList());
        QCOMPARE(f.board.status(), QString("online"));
    }

    // Past the limit of arrays and objects a message is refused unparsed with one line;
    // brackets inside text do not count.
    void tooManyArraysAreRefusedUnparsed()
    {
        Fixture f;
        const int limit = manager::ServiceClient::MaxJsonContainers;
        const auto status = [](bool on, int arrays, int brackets) {
            return "{\"service\": true, \"device\": {\"active\": true, \"ignition\": "
                + QByteArray(on ? "true" : "false") + ", \"pole\": \"" + QByteArray(brackets, '[') + "\"}, \"x\": ["
                + QByteArray("[],").repeated(arrays) + "[]]}";
        };
        f.inject("/status", status(true, limit - 4, limit)); // three around them, one at the end
        QCOMPARE(f.board.ignition(), true);
        f.reset();
        const QByteArray tooMany = status(false, limit - 3, 0);
        f.inject("/status", tooMany);
        QCOMPARE(f.log.lines(QtCriticalMsg),
            QStringList { QString("Failed to parse JSON message: more than %1 arrays and "
                                  "objects in %2 bytes; not parsed")
                              .arg(limit)
                              .arg(tooMany.size()) });
        QCOMPARE(f.board.ignition(), true);
    }

    void membersOfTheWrongKindReadAsDefaults()
    {
        Fixture f;
        f.inject("/power", R"({"display": true})");
        f.inject("/config", R"({"device": {"delayShutdownFor": 960}})");
        f.reset();

        QSignalSpy power(&f.board, &Board::peripheralPowerChanged);
        f.inject("/power", R"({"display": {"on": true}, "touch": [1]})");
        QCOMPARE(power.size(), 2);
        QCOMPARE(power.at(0), (QVariantList { "display", false }));
        QCOMPARE(power.at(1), (QVariantList { "touch", false }));
        QCOMPARE(f.board.peripheralPower("display"), false);

        f.inject("/event", R"({"name": 5, "data": [1, {"a": null}]})");
        QCOMPARE(f.log.lines().last(), QString("Event received :  [[1,{\"a\":null}]]"));
        f.inject("/config", R"({"device": 960})");
        QCOMPARE(f.board.delayShutdownFor(), 0);
        f.inject("/config", R"([1, 2])");
        QCOMPARE(f.signals_.fired(),
            (QStringList { "peripheralPowerChanged x2", "peripheralsChanged x1", "delayShutdownForChanged x1" }));
        QCOMPARE(f.board.ignition(), true);
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
