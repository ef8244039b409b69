#include "Broker.h"
#include "MqttClient.h"

#include <QSignalSpy>
#include <QtTest>

using manager::MqttClient;

class TestMqttBroker : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip()
    {
        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        MqttClient client;
        client.setHostname(broker.host());
        client.setPort(broker.port());
        client.setRetryMillis(200);
        client.subscribe("t/#");
        QSignalSpy rx(&client, &MqttClient::received);
        QSignalSpy conn(&client, &MqttClient::connected);
        client.connect();
        QTRY_COMPARE_WITH_TIMEOUT(conn.size(), 1, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(client.publish("hello", "t/a") && rx.size() > 0, 15000);
        QCOMPARE(rx.at(0).at(0).toByteArray(), QByteArray("hello"));
        QCOMPARE(rx.at(0).at(1).toByteArray(), QByteArray("t/a"));
    }
};

QTEST_GUILESS_MAIN(TestMqttBroker)
#include "tst_mqttbroker.moc"
