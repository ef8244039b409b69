#include "BrokerClient.h"
#include "CommandQueue.h"
#include "DeviceSimulator.h"
#include "MqttClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using manager::MqttClient;

namespace {
const int kTimeout = 20000;
}

// The simulator against a real broker, with a second client in the role of the panel.
class TestDeviceSimulator : public QObject
{
    Q_OBJECT

    struct Message
    {
        QString topic;
        QByteArray payload;
    };

    std::unique_ptr<Broker> m_broker;
    std::unique_ptr<MqttClient> m_simClient;
    std::unique_ptr<MqttClient> m_ui;
    std::unique_ptr<DeviceSimulator> m_sim;
    QList<Message> m_messages;
    QStringList m_lines;

    int countOn(const QString& topic) const
    {
        int n = 0;
        for (const Message& m : m_messages)
            n += m.topic == topic;
        return n;
    }
    QJsonObject lastOn(const QString& topic) const
    {
        for (int i = m_messages.size() - 1; i >= 0; --i)
            if (m_messages.at(i).topic == topic)
                return QJsonDocument::fromJson(m_messages.at(i).payload).object();
        return QJsonObject();
    }
    QList<QJsonObject> allOn(const QString& topic) const
    {
        QList<QJsonObject> out;
        for (const Message& m : m_messages)
            if (m.topic == topic)
                out << QJsonDocument::fromJson(m.payload).object();
        return out;
    }
    bool saw(const QString& prefix) const
    {
        for (const QString& l : m_lines)
            if (l.startsWith(prefix))
                return true;
        return false;
    }
    void request(const QString& topic, const QByteArray& payload = QByteArrayLiteral("{}"))
    {
        QVERIFY(m_ui->publish(payload, topic));
    }
    static QJsonObject sub(const QJsonObject& o, const char* a, const char* b = nullptr, const char* c = nullptr)
    {
        QJsonObject r = o.value(QLatin1String(a)).toObject();
        if (b)
            r = r.value(QLatin1String(b)).toObject();
        if (c)
            r = r.value(QLatin1String(c)).toObject();
        return r;
    }

private slots:
    void initTestCase()
    {
        m_broker = std::make_unique<Broker>();
        if (!m_broker->start())
            QSKIP("mosquitto cannot be started here");
        m_ui = std::make_unique<MqttClient>();
        pointAtBroker(*m_ui, *m_broker, QStringLiteral("ui-under-test"));
        m_ui->subscribe(QStringLiteral("vexa/#"));
        connect(m_ui.get(), &MqttClient::received, this,
                [this](const QByteArray& payload, const QByteArray& topic) {
                    m_messages.append({ QString::fromUtf8(topic), payload });
                });
        QSignalSpy uiUp(m_ui.get(), &MqttClient::connected);
        m_ui->connect();
        QTRY_COMPARE_WITH_TIMEOUT(uiUp.size(), 1, kTimeout);
        // The panel's subscription must be in place before the services announce themselves.
        QTRY_VERIFY_WITH_TIMEOUT(m_ui->publish("{}", QStringLiteral("vexa/probe")) && countOn("vexa/probe") > 0,
                                 kTimeout);

        m_simClient = std::make_unique<MqttClient>();
        pointAtBroker(*m_simClient, *m_broker, QStringLiteral("sim-under-test"));
        m_sim = std::make_unique<DeviceSimulator>(*m_simClient);
        m_sim->setStepMillis(20);
        connect(m_sim.get(), &DeviceSimulator::output, this, [this](const QString& l) { m_lines << l; });
        m_simClient->connect();
        QTRY_VERIFY_WITH_TIMEOUT(countOn("vexa/device/clock/ntp/config") > 0, kTimeout);
    }

    void init()
    {
        if (!m_sim)
            QSKIP("no broker");
    }

    void startUpAnnouncesEveryService()
    {
        const QJsonObject v = lastOn("vexa/blm/status");
        QCOMPARE(v.value("service").toBool(), true);
        const QJsonObject state = sub(v, "state");
        for (const char* k : { "hasRfid", "hasNtp", "hasRoute", "hasQr", "hasObu" })
            QVERIFY2(state.value(QLatin1String(k)).toBool(), k);
        QCOMPARE(state.value("init").toBool(), false);
        QVERIFY(!sub(v, "route").value("axisName").toString().isEmpty());
        QVERIFY(sub(v, "device", "rfid").contains("state"));

        const QJsonObject info = lastOn("vexa/blm/info");
        QVERIFY(!sub(info, "service").value("version").toString().isEmpty());
        QVERIFY(!sub(info, "device", "rfid").value("firmware").toString().isEmpty());
        // The validator publishes its configuration numbers as text.
        QVERIFY(sub(lastOn("vexa/blm/config"), "blm").value("obu_port").isString());

        QCOMPARE(sub(lastOn("vexa/board/status"), "device").value("ignition").toBool(), true);
        QVERIFY(lastOn("vexa/board/power").value("display").isBool());
        QCOMPARE(lastOn("vexa/network/ethernet/state").value("interface").toString(), QStringLiteral("eth0"));
        QCOMPARE(lastOn("vexa/network/status").value("stateStr").toString(), QStringLiteral("Connected"));
        QVERIFY(sub(lastOn("vexa/device/status"), "update", "software").contains("current"));
        QCOMPARE(lastOn("vexa/inspector/status").value("service").toBool(), true);
    }

    void getRequestsAreAnswered_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("member");
        QTest::newRow("board status") << "vexa/board/status/get" << "vexa/board/status" << "device";
        QTest::newRow("board display") << "vexa/board/display/get" << "vexa/board/display" << "brightness";
        QTest::newRow("board power") << "vexa/board/power/get" << "vexa/board/power" << "rfidReader";
        QTest::newRow("board audio") << "vexa/board/audio/get" << "vexa/board/audio" << "mute";
        QTest::newRow("inspector audio") << "vexa/inspector/audio/get" << "vexa/inspector/audio" << "internal";
        QTest::newRow("inspector memory") << "vexa/inspector/stats/memory/get" << "vexa/inspector/stats/memory"
                                          << "total";
        QTest::newRow("inspector cpu") << "vexa/inspector/stats/cpu/get" << "vexa/inspector/stats/cpu" << "usage";
        QTest::newRow("inspector disk") << "vexa/inspector/stats/disk/get" << "vexa/inspector/stats/disk" << "/";
        QTest::newRow("ethernet state") << "vexa/network/ethernet/state/get" << "vexa/network/ethernet/state"
                                        << "mac";
        QTest::newRow("ethernet config") << "vexa/network/ethernet/config/get" << "vexa/network/ethernet/config"
                                         << "method";
        QTest::newRow("device status") << "vexa/device/status/get" << "vexa/device/status" << "update";
        QTest::newRow("ntp status") << "vexa/device/clock/ntp/status/get" << "vexa/device/clock/ntp/status"
                                    << "synced";
        QTest::newRow("ntp config") << "vexa/device/clock/ntp/config/get" << "vexa/device/clock/ntp/config"
                                    << "server";
        QTest::newRow("validator config") << "vexa/blm/config/get" << "vexa/blm/config" << "validator";
    }

    void getRequestsAreAnswered()
    {
        QFETCH(QString, topic);
        QFETCH(QString, answer);
        QFETCH(QString, member);
        const int before = countOn(answer);
        // The panel sends some gets empty and some as "{ }".
        request(topic, QByteArrayLiteral("{ }"));
        QTRY_VERIFY_WITH_TIMEOUT(countOn(answer) > before, kTimeout);
        QVERIFY2(lastOn(answer).contains(member), qPrintable(member));
        QVERIFY(saw("REQ " + topic + " {}"));
    }

    void setRequestsAreAppliedAndReported()
    {
        request("vexa/board/display/set", R"({"mode": "manual"})");
        request("vexa/board/display/set", R"({"brightness": 35})");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn("vexa/board/display").value("brightness").toInt(), 35, kTimeout);
        QCOMPARE(lastOn("vexa/board/display").value("mode").toString(), QStringLiteral("manual"));
        const int displays = countOn("vexa/board/display");
        request("vexa/board/display/set", R"({"mode": "sideways"})");
        QTRY_VERIFY_WITH_TIMEOUT(countOn("vexa/board/display") > displays, kTimeout);
        QCOMPARE(lastOn("vexa/board/display").value("mode").toString(), QStringLiteral("manual"));

        request("vexa/board/audio/set", R"({"mute": true})");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn("vexa/board/audio").value("mute").toBool(), true, kTimeout);

        request("vexa/board/power/set", R"({"display": false})");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn("vexa/board/power").value("display").toBool(false), false, kTimeout);
        QVERIFY(lastOn("vexa/board/power").value("display").isBool());
        QVERIFY(saw("[Board] Peripheral display switched off"));
        request("vexa/board/power/set", R"({"display": true})");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn("vexa/board/power").value("display").toBool(), true, kTimeout);

        request("vexa/board/config/set", R"({"device": {"delayShutdownFor": 120}})");
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/board/config"), "device").value("delayShutdownFor").toInt(), 120,
                                  kTimeout);

        request("vexa/inspector/audio/set", R"({"internal": {"volume": 40}})");
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/inspector/audio"), "internal").value("volume").toInt(), 40,
                                  kTimeout);
        request("vexa/inspector/audio/set", R"({"internal": {"volume": 250}})");
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/inspector/audio"), "internal").value("volume").toInt(), 100,
                                  kTimeout);

        // The panel sends numbers and a flag; the service answers in its text form.
        request("vexa/blm/config/set", R"({"blm": {"obu_username": "bus", "obu_password": "pw", "obu_host": "10.1.1.9",
                                           "obu_port": 8883}, "validator": {"passbackTime": 90, "qr_passback": false}})");
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/blm/config"), "blm").value("obu_port").toString(),
                                  QStringLiteral("8883"), kTimeout);
        QCOMPARE(sub(lastOn("vexa/blm/config"), "blm").value("obu_host").toString(), QStringLiteral("10.1.1.9"));
        QCOMPARE(sub(lastOn("vexa/blm/config"), "validator").value("passbackTime").toString(), QStringLiteral("90"));
        QCOMPARE(sub(lastOn("vexa/blm/config"), "validator").value("qr_passback").toString(),
                 QStringLiteral("false"));
        // -1: the URL has no port.
        request("vexa/blm/config/set", R"({"blm": {"obu_host": "10.1.1.9", "obu_port": -1}, "validator": {}})");
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/blm/config"), "blm").value("obu_port").toString(), QString(),
                                  kTimeout);
        QCOMPARE(sub(lastOn("vexa/blm/config"), "validator").value("passbackTime").toString(), QStringLiteral("90"));

        request("vexa/device/clock/ntp/config/set", R"({"enabled": true, "server": "ntp.example.org"})");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn("vexa/device/clock/ntp/config").value("server").toString(),
                                  QStringLiteral("ntp.example.org"), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!allOn("vexa/device/clock/ntp/status").isEmpty()
                                     && lastOn("vexa/device/clock/ntp/status").value("synced").toBool(),
                                 kTimeout);
    }

    void ethernetConfigurationIsCheckedAndApplied()
    {
        const QString E = QStringLiteral("vexa/network/ethernet");
        request(E + "/config/set", R"({"interface": "eth0", "method": "manual", "address": "10.0.0.5",
                                       "netmask": "255.0.0.0", "gateway": "10.0.0.1", "dns0": "", "dns1": ""})");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn(E + "/config").value("method").toString(), QStringLiteral("manual"), kTimeout);
        QCOMPARE(lastOn(E + "/config").value("address").toString(), QStringLiteral("10.0.0.5"));
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(E + "/state"), "ipv4").value("address").toString(),
                                  QStringLiteral("10.0.0.5"), kTimeout);
        QCOMPARE(lastOn(E + "/state").value("stateStr").toString(), QStringLiteral("Connected"));
        // It went through "Connecting" on the way.
        bool connecting = false;
        for (const QJsonObject& state : allOn(E + "/state"))
            connecting = connecting || state.value("stateStr").toString() == QLatin1String("Connecting");
        QVERIFY(connecting);
        // The network's status is a message of its own: it may come after the state.
        QTRY_COMPARE_WITH_TIMEOUT(
            sub(lastOn("vexa/network/status"), "primaryConnection", "ipv4").value("gateway").toString(),
            QStringLiteral("10.0.0.1"), kTimeout);

        // A bad address is refused: the old configuration comes back.
        const int configs = countOn(E + "/config");
        request(E + "/config/set", R"({"interface": "eth0", "method": "manual", "address": "256.1.1.1",
                                       "netmask": "255.0.0.0", "gateway": "", "dns0": "", "dns1": ""})");
        QTRY_VERIFY_WITH_TIMEOUT(countOn(E + "/config") > configs, kTimeout);
        QCOMPARE(lastOn(E + "/config").value("address").toString(), QStringLiteral("10.0.0.5"));
        QVERIFY(saw("[Network] WARN: Ethernet configuration refused"));

        // Automatic addressing clears the manual fields and brings the lease back.
        request(E + "/config/set", R"({"interface": "eth0", "method": "auto", "address": "", "netmask": "",
                                       "gateway": "", "dns0": "", "dns1": ""})");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn(E + "/config").value("method").toString(), QStringLiteral("auto"), kTimeout);
        QCOMPARE(lastOn(E + "/config").value("address").toString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(E + "/state"), "ipv4").value("address").toString(),
                                  QStringLiteral("192.168.1.57"), kTimeout);
    }

    void readerSwitchesShowInTheValidatorStatus()
    {
        const QString S = QStringLiteral("vexa/blm/status");
        request("vexa/rfid/enable", R"({"autoread": true})");
        request("vexa/barcode/enable", QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(S), "device", "rfid").value("state").toInt(), 2, kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(S), "device", "barcode").value("enabled").toBool(), true, kTimeout);
        QVERIFY(saw("REQ vexa/rfid/enable {\"autoread\":true}"));
        QVERIFY(saw("[Validator] Card reader enabled"));
        QVERIFY(m_lines.contains("REQ vexa/barcode/enable"));

        request("vexa/rfid/disable", QByteArray());
        request("vexa/barcode/disable", QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(S), "device", "rfid").value("state").toInt(), 1, kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(S), "device", "barcode").value("enabled").toBool(), false, kTimeout);
        QVERIFY(saw("[Validator] Barcode reader disabled"));
    }

    void scriptedPassengersProduceTransactions()
    {
        const QString R = QStringLiteral("vexa/blm/rfid/scanned");
        const QString B = QStringLiteral("vexa/blm/barcode/scanned");
        const int cards = countOn(R);
        const int tickets = countOn(B);
        CommandQueue script(*m_sim, QStringLiteral("scenario"));
        QSignalSpy drained(&script, &CommandQueue::drained);
        script.append(QStringList{ "# a morning on line 7", "tap valid", "wait 50", "tap valid period",
                                   "tap valid journeys", "tap refused 205", "tap already", "scan valid",
                                   "scan refused 101", "card retry" });
        script.setPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(drained.size() > 0, kTimeout);
        QCOMPARE(script.failures(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(countOn(R), cards + 5, kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(countOn(B), tickets + 2, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(countOn("vexa/blm/rfid/retry") > 0, kTimeout);

        const QList<QJsonObject> taps = allOn(R).mid(cards);
        const QJsonObject epurse = taps.at(0).value("transaction").toObject();
        QCOMPARE(epurse.value("result").toBool(), true);
        QCOMPARE(epurse.value("type").toInt(), 2);
        const QJsonObject card = epurse.value("card").toObject();
        QVERIFY(card.value("balanceBefore").toInt() > card.value("balanceAfter").toInt());
        QVERIFY(!epurse.value("fareProductName").toString().isEmpty());
        QVERIFY(!epurse.value("passengerTypeName").toString().isEmpty());

        const QJsonObject period = taps.at(1).value("transaction").toObject();
        QCOMPARE(period.value("type").toInt(), 8);
        const QJsonObject pass = sub(period, "card", "periodPass");
        QVERIFY(pass.value("remainingDays").toInt() > 0);
        QVERIFY(QDateTime::fromString(pass.value("activationTimestamp").toString(), "yyyy-MM-ddTHH:mm:ssZ").isValid());

        const QJsonObject journeys = taps.at(2).value("transaction").toObject();
        QCOMPARE(journeys.value("type").toInt(), 5);
        QVERIFY(sub(journeys, "card", "storedJourneys").contains("after"));

        const QJsonObject refused = taps.at(3).value("transaction").toObject();
        QCOMPARE(refused.value("result").toBool(), false);
        QCOMPARE(sub(refused, "denyReason").value("id").toInt(), 205);
        QCOMPARE(sub(taps.at(4).value("transaction").toObject(), "denyReason").value("id").toInt(), 207);

        const QList<QJsonObject> scans = allOn(B).mid(tickets);
        const QJsonObject ticket = scans.at(0).value("transaction").toObject();
        QCOMPARE(ticket.value("type").toInt(), 0);
        QCOMPARE(ticket.value("result").toBool(), true);
        QVERIFY(!sub(ticket, "barcode").value("fromStopGroupName").toString().isEmpty());
        QVERIFY(!sub(ticket, "barcode").value("toStopGroupName").toString().isEmpty());
        QCOMPARE(sub(scans.at(1).value("transaction").toObject(), "denyReason").value("id").toInt(), 101);
        // Every tap is announced by the reader first.
        QVERIFY(countOn("vexa/rfid/card/found") >= 5);
    }

    void vehicleAndValidatorStates()
    {
        QVERIFY(m_sim->execute("ignition off"));
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/board/status"), "device").value("ignition").toBool(true), false,
                                  kTimeout);
        QVERIFY(m_sim->execute("ignition on"));
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/board/status"), "device").value("ignition").toBool(), true,
                                  kTimeout);

        const QString S = QStringLiteral("vexa/blm/status");
        QVERIFY(m_sim->execute("status no-route"));
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(S), "state").value("hasRoute").toBool(true), false, kTimeout);
        QCOMPARE(sub(lastOn(S), "state").value("hasRfid").toBool(), true);
        QCOMPARE(sub(lastOn(S), "route").value("axisName").toString(), QString());

        QVERIFY(m_sim->execute("status rfid-updating"));
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(S), "device", "rfid").value("state").toInt(), 4, kTimeout);
        QCOMPARE(sub(lastOn(S), "state").value("hasRfid").toBool(true), false);
        // Each status command describes the whole state: the route is back.
        QCOMPARE(sub(lastOn(S), "state").value("hasRoute").toBool(), true);

        QVERIFY(m_sim->execute("status no-obu no-qr"));
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn(S), "state").value("hasQr").toBool(true), false, kTimeout);
        QCOMPARE(sub(lastOn(S), "state").value("hasObu").toBool(true), false);

        QVERIFY(m_sim->execute("status service-down"));
        QTRY_COMPARE_WITH_TIMEOUT(lastOn(S).value("service").toBool(true), false, kTimeout);
        QVERIFY(m_sim->execute("status online"));
        QTRY_COMPARE_WITH_TIMEOUT(lastOn(S).value("service").toBool(), true, kTimeout);
        QCOMPARE(sub(lastOn(S), "state").value("hasObu").toBool(), true);

        QVERIFY(m_sim->execute("maint eth0 manual 10.0.0.7 255.255.255.0 10.0.0.1 10.0.0.2 10.0.0.3"));
        QTRY_VERIFY_WITH_TIMEOUT(countOn("vexa/blm/barcode/maintenance/scanned") > 0, kTimeout);
        const QJsonObject eth0 = sub(lastOn("vexa/blm/barcode/maintenance/scanned"), "network", "eth0");
        QCOMPARE(eth0.value("method").toString(), QStringLiteral("manual"));
        QCOMPARE(eth0.value("dns1").toString(), QStringLiteral("10.0.0.3"));
    }

    void updateDownloadsAndInstalls()
    {
        const QString P = QStringLiteral("vexa/device/update/software/progress");
        const int before = countOn(P);
        QVERIFY(m_sim->execute("update available 2.0.0"));
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/device/status"), "update", "software").value("pending").toString(),
                                  QStringLiteral("2.0.0"), kTimeout);
        const QList<QJsonObject> download = allOn(P).mid(before);
        QVERIFY(download.size() > 1);
        for (const QJsonObject& step : download) {
            QVERIFY(step.value("message").toString().contains('/'));
            QCOMPARE(step.value("version").toString(), QStringLiteral("2.0.0"));
        }
        QCOMPARE(download.last().value("progress").toInt(), 100);

        const int installBefore = countOn(P);
        request("vexa/device/update/software/install", QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(sub(lastOn("vexa/device/status"), "update", "software").value("current").toString(),
                                  QStringLiteral("2.0.0"), kTimeout);
        QCOMPARE(sub(lastOn("vexa/device/status"), "update", "software").value("pending").toString(), QString());
        const QList<QJsonObject> install = allOn(P).mid(installBefore);
        QVERIFY(!install.isEmpty());
        for (const QJsonObject& step : install)
            QVERIFY(!step.value("message").toString().contains('/'));
    }

    void badInputIsReportedNotActedOn()
    {
        QVERIFY(!m_sim->execute("tap sideways"));
        QVERIFY(!m_sim->execute("frobnicate"));
        QVERIFY(!m_sim->execute("status sleepy"));
        QVERIFY(m_sim->execute("# only a comment"));
        const int boards = countOn("vexa/board/status");
        request("vexa/board/status/get", "not json");
        QTRY_VERIFY_WITH_TIMEOUT(saw("[Sim] WARN: Request on vexa/board/status/get is not JSON"), kTimeout);
        // Still alive and answering.
        request("vexa/board/status/get");
        QTRY_VERIFY_WITH_TIMEOUT(countOn("vexa/board/status") > boards, kTimeout);
    }

    void aReturningPanelGetsEveryStateAgain()
    {
        const int before = countOn("vexa/blm/status");
        request("vexa/ui/info", R"({"version": "1.0.21"})");
        QTRY_VERIFY_WITH_TIMEOUT(countOn("vexa/blm/status") > before, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(countOn("vexa/network/status") > 0, kTimeout);
    }

    void cleanupTestCase()
    {
        m_sim.reset();
        m_simClient.reset();
        m_ui.reset();
        m_broker.reset();
    }
};

QTEST_GUILESS_MAIN(TestDeviceSimulator)
#include "tst_devicesimulator.moc"
