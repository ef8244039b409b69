#include "BrokerClient.h"
#include "GuiRig.h"
#include "LogCapture.h"
#include "Logger.h"

#include "Validator.h"

#include "MqttClient.h"
#include "SessionManager.h"

#include <QSignalSpy>
#include <QtTest>

using manager::MqttClient;

namespace {

// Records what the user interface publishes under "vexa/ui/".
// The built-in settings pointed at the test broker, with files in the test folder.
QVariantMap brokerDefaults(const Broker& broker, const QTemporaryDir& dir)
{
    QVariantMap defaults = GUIManager::Defaults;
    defaults.insert("mqtt/host", broker.host());
    defaults.insert("mqtt/port", int(broker.port()));
    defaults.insert("gui/deviceId", dir.filePath("sn"));
    defaults.insert("log/syslog", false);
    return defaults;
}

struct Listener {
    MqttClient client;
    QList<QPair<QString, QByteArray>> messages;
    explicit Listener(const Broker& broker)
    {
        pointAtBroker(client, broker, QStringLiteral("listener"));
        client.subscribe(QStringLiteral("vexa/ui/#"));
        QObject::connect(&client, &MqttClient::received, [this](const QByteArray& data, const QByteArray& topic) {
            messages.append({QString::fromUtf8(topic), data});
        });
        client.connect();
    }
    int count(const QString& topic) const
    {
        int n = 0;
        for (const auto& m : messages)
            n += m.first == topic;
        return n;
    }
    QJsonObject last(const QString& topic) const
    {
        for (int i = messages.size() - 1; i >= 0; --i)
            if (messages.at(i).first == topic)
                return QJsonDocument::fromJson(messages.at(i).second).object();
        return {};
    }
};

} // namespace

class TestGuiService : public QObject
{
    Q_OBJECT
private slots:
    void willIsSetBeforeConnecting()
    {
        GuiRig f;
        QCOMPARE(f.transport->willTopic(), QString("vexa/ui/status"));
        QCOMPARE(f.transport->willMessage(), QByteArray("{\"service\": false}"));
        QVERIFY(f.transport->clientId().startsWith("Ticora_") || f.transport->clientId().contains('_'));
        // Own topics subscribed after the connection.
        for (const char* t : {"vexa/ui/info/get", "vexa/ui/status/get", "vexa/ui/config/get", "vexa/ui/config/set"})
            QVERIFY(f.transport->subscriptions.contains(t));
        QCOMPARE(f.gui->message(), QString("Connected"));
    }

    void ownServiceOnRealBroker()
    {
        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        Listener listener(broker);
        QSignalSpy listening(&listener.client, &MqttClient::connected);
        QTRY_COMPARE_WITH_TIMEOUT(listening.size(), 1, 15000);

        QTemporaryDir dir;
        Config config(dir.filePath("gui.conf"), brokerDefaults(broker, dir));
        GUIManager::Options options;
        options.eventLogPath = dir.filePath("events.ini");
        options.mqttRetryMillis = 300;
        GUIManager gui(config, options);

        // Info, status and configuration on connection.
        QTRY_VERIFY_WITH_TIMEOUT(listener.count("vexa/ui/config") >= 1, 15000);
        QCOMPARE(listener.last("vexa/ui/info").value("version").toString(), QCoreApplication::applicationVersion());
        QCOMPARE(listener.last("vexa/ui/status"), (QJsonObject{{"service", true}, {"technician", false}}));
        QCOMPARE(listener.last("vexa/ui/config").value("gui").toObject().value("settingsPin").toString(),
            QString("********"));

        // The technician flag follows the session.
        gui.settingsLoginRequest("7391");
        QTRY_COMPARE_WITH_TIMEOUT(listener.last("vexa/ui/status").value("technician").toBool(), true, 15000);

        // Remote configuration goes through the store and is published again.
        listener.client.publish(R"({"gui": {"displayOffMin": 7, "nope": 1}, "bogus": 3})", "vexa/ui/config/set");
        QTRY_COMPARE_WITH_TIMEOUT(config.get("gui/displayOffMin").toInt(), 7, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(
            listener.last("vexa/ui/config").value("gui").toObject().value("displayOffMin").toInt(), 7, 15000);
        QVERIFY(!config.keys().contains("gui/nope"));

        // Untrusted input: wrong types, non-objects, junk never break the store.
        const int configsBefore = listener.count("vexa/ui/config");
        for (const QByteArray& junk : {QByteArray("[1,2]"), QByteArray("not json"), QByteArray("{\"gui\": 5}"),
                                       QByteArray(R"({"gui": {"displayOffMin": "many", "showCursor": [1]}})"),
                                       QByteArray("{\"gui\": {\"locale\": \"") + QByteArray(200000, 'x') + "\"}}"})
            listener.client.publish(junk, "vexa/ui/config/set");
        listener.client.publish("{}", "vexa/ui/info/get");
        QTRY_VERIFY_WITH_TIMEOUT(listener.count("vexa/ui/info") >= 2, 15000);
        QCOMPARE(listener.count("vexa/ui/config"), configsBefore);
        QCOMPARE(config.get("gui/displayOffMin").toInt(), 7);
        QCOMPARE(config.get("gui/locale").toString().size() < 100, true);
        Config reread(dir.filePath("gui.conf"), brokerDefaults(broker, dir));
        QCOMPARE(reread.get("gui/displayOffMin").toInt(), 7);

        // Re-applying the broker settings twice still answers each request once.
        config.set("mqtt/username", "a");
        config.set("mqtt/username", "");
        QSignalSpy reconnected(&gui.mqtt(), &MqttClient::connected);
        QTRY_VERIFY_WITH_TIMEOUT(gui.mqtt().state() == manager::MqttTransport::Connected, 15000);
        QTest::qWait(500);
        const int infoBefore = listener.count("vexa/ui/info");
        listener.client.publish("{}", "vexa/ui/info/get");
        QTRY_COMPARE_WITH_TIMEOUT(listener.count("vexa/ui/info"), infoBefore + 1, 15000);
        QTest::qWait(500);
        QCOMPARE(listener.count("vexa/ui/info"), infoBefore + 1);
    }

    // An unclean exit leaves the will retained; the next run's status replaces it.
    void retainedStatusReplacesTheWill()
    {
        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        QTemporaryDir dir;
        Config config(dir.filePath("gui.conf"), brokerDefaults(broker, dir));
        GUIManager::Options options;
        options.eventLogPath = dir.filePath("events.ini");
        options.mqttRetryMillis = 300;
        {
            Listener first(broker);
            auto* gui = new GUIManager(config, options);
            QTRY_VERIFY_WITH_TIMEOUT(first.count("vexa/ui/config") >= 1, 15000);
            delete gui; // no DISCONNECT, as after kill -9: the broker publishes the will
            QTRY_COMPARE_WITH_TIMEOUT(first.last("vexa/ui/status"), (QJsonObject { { "service", false } }), 15000);
        }
        GUIManager gui(config, options);
        QTRY_COMPARE_WITH_TIMEOUT(gui.mqtt().state(), manager::MqttTransport::Connected, 15000);
        QTest::qWait(300); // its status reaches the broker before the late subscriber asks
        Listener late(broker);
        QTRY_VERIFY_WITH_TIMEOUT(late.count("vexa/ui/status") >= 1, 15000);
        QCOMPARE(late.last("vexa/ui/status"), (QJsonObject { { "service", true }, { "technician", false } }));
    }

    // Broker restarts: every reconnection renews the same subscriptions before the
    // program announces itself, so a validator that answers at once is heard.
    void brokerRestartsKeepEverySubscription()
    {
        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        manager::Logger::instance();
        LogCapture log;
        QTemporaryDir dir;
        Config config(dir.filePath("gui.conf"), brokerDefaults(broker, dir));
        GUIManager::Options options;
        options.eventLogPath = dir.filePath("events.ini");
        GUIManager gui(config, options); // the device's own 3000 ms retry

        // The validator stand-in sends its status the moment the program says hello.
        MqttClient validator;
        pointAtBroker(validator, broker, QStringLiteral("validator"));
        validator.subscribe(QStringLiteral("vexa/ui/info"));
        bool online = true;
        QObject::connect(&validator, &MqttClient::received, [&](const QByteArray&, const QByteArray& topic) {
            if (topic != "vexa/ui/info")
                return;
            const QJsonObject status = online ? GuiRig::validatorStatus(false, true, true, true, true)
                                              : GuiRig::validatorStatus(false, true, false, true, true);
            validator.publish(QJsonDocument(status).toJson(), QStringLiteral("vexa/blm/status"));
        });
        QSignalSpy connections(&gui.mqtt(), &MqttClient::connected);
        // The stand-in's own lines name only its one filter.
        QList<int> subscribedAtConnected;
        QObject::connect(&gui.mqtt(), &MqttClient::connected, [&] {
            const QStringList lines = log.lines().filter(QStringLiteral("[MqttClient] Subscribing to '"));
            subscribedAtConnected << lines.size() - lines.filter(QStringLiteral("'vexa/ui/info'")).size();
        });
        validator.connect();
        QTRY_COMPARE_WITH_TIMEOUT(validator.state(), manager::MqttTransport::Connected, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(connections.size(), 1, 15000);
        if (gui.validator()->status() != QLatin1String("online")) // the stand-in may have come second
            validator.publish("{}", QStringLiteral("vexa/ui/info"));
        QTRY_COMPARE_WITH_TIMEOUT(gui.validator()->status(), QString("online"), 15000);

        for (int i = 1; i <= 20; ++i) {
            broker.stop();
            QTRY_COMPARE_WITH_TIMEOUT(gui.mqtt().state(), manager::MqttTransport::Disconnected, 15000);
            online = !online;
            QVERIFY(broker.start());
            QTRY_VERIFY_WITH_TIMEOUT(validator.state() == manager::MqttTransport::Connected, 30000);
            QTRY_COMPARE_WITH_TIMEOUT(connections.size(), i + 1, 30000);
            QTRY_COMPARE_WITH_TIMEOUT(
                gui.validator()->status(), online ? QString("online") : QString("out-of-service"), 15000);
        }

        // Every filter asked for once per connection, all before the program heard of it.
        QCOMPARE(subscribedAtConnected.size(), 21);
        const int filters = gui.mqtt().subscriptions().size();
        for (int i = 0; i < subscribedAtConnected.size(); ++i)
            QCOMPARE(subscribedAtConnected.at(i), filters * (i + 1));
    }
};

QTEST_MAIN(TestGuiService)
#include "tst_guiservice.moc"
