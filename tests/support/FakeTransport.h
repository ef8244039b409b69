#pragma once

#include "MqttClient.h"
#include "MqttTransport.h"

#include <QList>
#include <QPointer>
#include <QStringList>

// Stands in for the broker connection beneath manager::MqttClient: records every
// subscription and publication byte for byte and lets a test inject messages.
// Two of them can be wired to each other, so that what one side publishes reaches
// the other side's subscriptions (the panel and the services, or the depot, in one
// process).
class FakeTransport : public manager::MqttTransport
{
    Q_OBJECT
public:
    struct Published {
        QString topic;
        QByteArray payload;
        quint8 qos;
        bool retain;
    };

    explicit FakeTransport(QObject* parent = nullptr) : MqttTransport(parent) {}

    // When true (default) connectToHost() reaches Connected at once.
    bool autoAccept = true;
    int connectCalls = 0;
    QStringList subscriptions;
    QList<Published> published;

    void connectToHost() override
    {
        ++connectCalls;
        setStateAndError(Connecting);
        if (autoAccept)
            setStateAndError(Connected);
    }
    void disconnectFromHost() override { setStateAndError(Disconnected); }
    bool subscribe(const QString& filter, quint8) override
    {
        if (state() != Connected)
            return false;
        subscriptions.append(filter);
        return true;
    }
    int publish(const QString& topic, const QByteArray& payload, quint8 qos, bool retain) override;
    void closeTransport() override { setStateAndError(Disconnected, TransportInvalid); }

    // Test controls.
    void accept() { setStateAndError(Connected); }
    void refuse(ClientError e) { setStateAndError(Disconnected, e); }
    void drop() { setStateAndError(Disconnected, TransportInvalid); }
    void inject(const QString& topic, const QByteArray& payload) { emit messageReceived(payload, topic); }
    static void wire(FakeTransport* a, FakeTransport* b);
    // MQTT filter match with the "+" and "#" wildcards.
    static bool matches(const QString& filter, const QString& topic);

    // Publications on one topic, oldest first.
    QList<QByteArray> payloadsOn(const QString& topic) const
    {
        QList<QByteArray> out;
        for (const auto& p : published)
            if (p.topic == topic)
                out.append(p.payload);
        return out;
    }
    QStringList publishedTopics() const
    {
        QStringList out;
        for (const auto& p : published)
            out.append(p.topic);
        return out;
    }

private:
    QPointer<FakeTransport> m_peer;
};

// A MqttClient wired to a FakeTransport and connected, ready for a service client.
struct FakeMqtt {
    manager::MqttClient client;
    FakeTransport* transport = nullptr;

    explicit FakeMqtt(bool connectNow = true)
    {
        client.setTransportFactory([this] {
            transport = new FakeTransport();
            return transport;
        });
        if (connectNow)
            client.connect();
    }
    // Creates the transport without reaching Connected.
    void connectPending()
    {
        client.setTransportFactory([this] {
            transport = new FakeTransport();
            transport->autoAccept = false;
            return transport;
        });
        client.connect();
    }
};
