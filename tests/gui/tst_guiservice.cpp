#include "Broker.h"
#include "GuiFixture.h"

#include "MqttClient.h"
#include "SessionManager.h"

#include <QSignalSpy>
#include <QtTest>

using manager::MqttClient;

namespace {

// Records what the user interface publishes under "vexa/ui/".
struct Listener {
    MqttClient client;
    QList<QPair<QString, QByteArray>> messages;
    explicit Listener(const Broker& broker)
    {
        client.setHostname(broker.host());
        client.setPort(broker.port());
        client.setRetryMillis(200);
        client.setClientId(QStringLiteral("listener"));
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
        GuiFixture f;
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
        QVariantMap defaults = GUIManager::Defaults;
        defaults.insert("mqtt/host", broker.host());
        defaults.insert("mqtt/port", int(broker.port()));
        defaults.insert("gui/deviceId", dir.filePath("sn"));
        defaults.insert("log/syslog", false);
        Config config(dir.filePath("gui.conf"), defaults);
        GUIManager::Options options;
        options.eventLogPath = dir.filePath("events.ini");
        options.mqttRetryMillis = 300;
        GUIManager gui(config, options);

        // Info, status and configuration on connection.
        QTRY_VERIFY_WITH_TIMEOUT(listener.count("vexa/ui/config") >= 1, 15000);
        QCOMPARE(listener.last("vexa/ui/info").value("version").toString(), QCoreApplication::applicationVersion());
        QCOMPARE(listener.last("vexa/ui/status"), (QJsonObject{{"service", true}, {"technician", false}}));
        QCOMPARE(listener.last("vexa/ui/config").value("gui").toObject().value("settingsPin").toString(),
                 QString("7391"));

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
        Config reread(dir.filePath("gui.conf"), defaults);
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
};

QTEST_MAIN(TestGuiService)
#include "tst_guiservice.moc"
