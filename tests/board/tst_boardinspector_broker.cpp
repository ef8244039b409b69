#include "Board.h"
#include "Broker.h"
#include "Inspector.h"
#include "MqttClient.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using manager::Board;
using manager::Inspector;
using manager::MqttClient;

namespace {

// Listens to everything the clients send, through a broker restart. Its session is
// persistent and the broker keeps it on disk with QoS 0 messages queued, so nothing
// published while it is still reconnecting is lost: the test does not depend on
// which client gets back first.
struct Recorder
{
    MqttClient client;
    QList<QPair<QString, QByteArray>> messages;

    Recorder(const Broker& broker, const QStringList& filters)
    {
        client.setHostname(broker.host());
        client.setPort(broker.port());
        client.setRetryMillis(50);
        client.setClientId(QStringLiteral("ticora-test-recorder"));
        client.setCleanSession(false);
        for (const auto& filter : filters)
            client.subscribe(filter, 1);
        QObject::connect(&client, &MqttClient::received, [this](const QByteArray& data, const QByteArray& topic) {
            messages.append(qMakePair(QString::fromUtf8(topic), data));
        });
    }
    // Topics received so far that end with one of the suffixes, in arrival order.
    QStringList topicsEndingWith(const QStringList& suffixes) const
    {
        QStringList out;
        for (const auto& m : messages)
            for (const auto& suffix : suffixes)
                if (m.first.endsWith(suffix))
                    out.append(m.first);
        return out;
    }
};

QString brokerConfig(const QTemporaryDir& store)
{
    return QStringLiteral("persistence true\npersistence_location %1/\nqueue_qos0_messages true\n").arg(store.path());
}

} // namespace

class TestBoardInspectorBroker : public QObject
{
    Q_OBJECT
private slots:
    void refreshRequestsAreSentAgainAfterABrokerRestart()
    {
        QTemporaryDir store;
        QVERIFY(store.isValid());
        Broker broker(brokerConfig(store));
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");

        Recorder recorder(broker, { "vexa/board/#", "vexa/inspector/#" });
        recorder.client.connect();
        // The recorder is subscribed once its own probe comes back.
        QTRY_VERIFY_WITH_TIMEOUT(
            recorder.client.publish("probe", "vexa/board/probe") && !recorder.topicsEndingWith({ "/probe" }).isEmpty(),
            15000);

        MqttClient mqtt;
        mqtt.setHostname(broker.host());
        mqtt.setPort(broker.port());
        mqtt.setRetryMillis(300);
        Board board(mqtt, "vexa/board");
        Inspector inspector(mqtt, "vexa/inspector");
        QSignalSpy connected(&mqtt, &MqttClient::connected);
        mqtt.connect();

        const QStringList boardGets { "vexa/board/status/get", "vexa/board/display/get", "vexa/board/power/get",
            "vexa/board/audio/get" };
        const QStringList inspectorGets { "vexa/inspector/audio/get", "vexa/inspector/stats/memory/get",
            "vexa/inspector/stats/disk/get", "vexa/inspector/stats/cpu/get" };
        const auto boardSeen = [&] {
            return recorder.topicsEndingWith({ "board/status/get", "display/get", "power/get", "board/audio/get" });
        };
        const auto inspectorSeen = [&] {
            return recorder.topicsEndingWith(
                { "inspector/audio/get", "stats/memory/get", "stats/disk/get", "stats/cpu/get" });
        };

        QTRY_COMPARE_WITH_TIMEOUT(boardSeen(), boardGets, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(inspectorSeen(), inspectorGets, 15000);
        QCOMPARE(connected.size(), 1);
        for (const auto& m : recorder.messages)
            if (m.first.endsWith("/get"))
                QCOMPARE(m.second, QByteArray("{}"));

        broker.stop();
        QVERIFY(broker.start());

        QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(boardSeen(), boardGets + boardGets, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(inspectorSeen(), inspectorGets + inspectorGets, 20000);

        // The clients hear the services again on the renewed subscriptions.
        QTRY_VERIFY_WITH_TIMEOUT(
            recorder.client.publish(R"({"service": true, "device": {"active": true}})", "vexa/board/status")
                && board.status() == "online",
            20000);
        QTRY_VERIFY_WITH_TIMEOUT(
            recorder.client.publish(R"({"service": true})", "vexa/inspector/status") && inspector.status() == "online",
            20000);
    }
};

QTEST_GUILESS_MAIN(TestBoardInspectorBroker)
#include "tst_boardinspector_broker.moc"
