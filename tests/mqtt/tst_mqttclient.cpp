#include "FakeTransport.h"

#include <QSignalSpy>
#include <QtTest>

using manager::MqttClient;
using manager::MqttTransport;

// MqttClient's own logic over the fake transport; the broker tests cover the wire.
class TestMqttClient : public QObject
{
    Q_OBJECT
private slots:
    void publishFailsUntilConnected()
    {
        FakeMqtt m(false);
        QVERIFY(!m.client.publish("x", "t"));
        m.connectPending();
        QVERIFY(!m.client.publish("x", "t"));
        m.transport->accept();
        QVERIFY(m.client.publish("x", "t"));
        QCOMPARE(m.transport->published.size(), 1);
    }

    void subscriptionsRenewedOnceBeforeListeners()
    {
        FakeMqtt m(false);
        m.client.subscribe("a");
        m.client.subscribe("b");
        m.client.subscribe("a");
        QStringList seenAtConnected;
        connect(&m.client, &MqttClient::connected, [&] {
            seenAtConnected = m.transport->subscriptions;
            m.client.subscribe("b"); // as listeners do on every connection
        });
        m.client.connect();
        // Renewed before anyone hears of the connection, so nothing a listener
        // publishes can be answered before the filters are in place.
        QCOMPARE(seenAtConnected, (QStringList { "a", "b" }));
        m.client.subscribe("c");
        QCOMPARE(m.transport->subscriptions.last(), QString("c"));
        QCOMPARE(m.client.subscriptions(), (QStringList { "a", "b", "c" }));
    }

    void reconnectsAfterRetryIntervalAndRenews()
    {
        FakeMqtt m(false);
        m.client.setRetryMillis(50);
        m.client.subscribe("a");
        QSignalSpy conn(&m.client, &MqttClient::connected);
        m.client.connect();
        QCOMPARE(conn.size(), 1);
        m.transport->drop();
        QTRY_COMPARE_WITH_TIMEOUT(conn.size(), 2, 10000);
        QCOMPARE(m.transport->subscriptions, (QStringList { "a", "a" }));
        m.client.subscribe("a");
        m.transport->drop();
        QTRY_COMPARE_WITH_TIMEOUT(conn.size(), 3, 10000);
        QCOMPARE(m.transport->subscriptions, (QStringList { "a", "a", "a" }));
    }

    void hangingAttemptIsCutOff()
    {
        FakeMqtt m(false);
        m.client.setRetryMillis(50);
        m.connectPending();
        QCOMPARE(m.transport->state(), MqttTransport::Connecting);
        QTRY_VERIFY_WITH_TIMEOUT(m.transport->connectCalls >= 3, 10000);
    }

    void errorsMapToText()
    {
        FakeMqtt m(false);
        m.connectPending();
        QSignalSpy err(&m.client, &MqttClient::error);
        m.transport->refuse(MqttTransport::BadUsernameOrPassword);
        QCOMPARE(err.size(), 1);
        QCOMPARE(err.at(0).at(0).toString(), QString("Mqtt client error"));
    }

    void disconnectBeforeConnectDoesNothing()
    {
        FakeMqtt m(false);
        QSignalSpy disc(&m.client, &MqttClient::disconnected);
        m.client.disconnect();
        QCOMPARE(m.client.state(), MqttTransport::Disconnected);
        QVERIFY(!m.client.transport());
        QCOMPARE(disc.size(), 0);
    }

    void parametersAppliedAtEveryConnect()
    {
        FakeMqtt m(false);
        m.client.setHostname("broker.local");
        m.client.setPort(1884);
        m.client.setPassword("pw");
        m.client.setWillTopic("vexa/ui/status");
        m.client.setWillMessage(R"({"service": false})");
        m.connectPending();
        QCOMPARE(m.transport->hostname(), QString("broker.local"));
        QCOMPARE(m.transport->port(), quint16(1884));
        QCOMPARE(m.transport->password(), QString("pw"));
        QCOMPARE(m.transport->keepAlive(), quint16(5));
        QCOMPARE(m.transport->willQoS(), quint8(2));
        QVERIFY(m.transport->willRetain());
        QCOMPARE(m.transport->willMessage(), QByteArray(R"({"service": false})"));
        QCOMPARE(m.transport->willTopic(), QString("vexa/ui/status"));
        m.client.setHostname("127.0.0.1");
        m.transport->refuse(MqttTransport::ServerUnavailable);
        m.client.connect();
        QCOMPARE(m.transport->hostname(), QString("127.0.0.1"));
    }

    void receivedCarriesTopicAsUtf8()
    {
        FakeMqtt m;
        QSignalSpy rx(&m.client, &MqttClient::received);
        m.transport->inject(QString::fromUtf8("a/\xce\xb1"), QByteArray("\x00\x01", 2));
        QCOMPARE(rx.size(), 1);
        QCOMPARE(rx.at(0).at(0).toByteArray(), QByteArray("\x00\x01", 2));
        QCOMPARE(rx.at(0).at(1).toByteArray(), QByteArray("a/\xce\xb1"));
    }
};

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
