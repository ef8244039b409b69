#pragma once

#include "MqttTransport.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;

namespace manager {

// The one connection to the local broker, shared by every service client. Keeps
// itself connected: a fixed retry interval after every loss, hanging attempts cut
// off, subscriptions remembered and renewed after each connection.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    using ClientState = MqttTransport::ClientState;
    using ClientError = MqttTransport::ClientError;
    using TransportFactory = std::function<MqttTransport*()>;

    explicit MqttClient(QObject* parent = nullptr);
    ~MqttClient() override;

    // Replaces what the first connect() creates (libmosquitto by default); a test
    // seam. Only effective before the first connect().
    void setTransportFactory(TransportFactory factory);
    MqttTransport* transport() const { return m_client; }
    ClientState state() const;
    // The remembered topic filters, each once, in the order first subscribed.
    QStringList subscriptions() const;

    void setHostname(const QString& hostname);
    void setPort(unsigned port);
    void setUsername(const QString& username);
    void setPassword(const QString& password);
    void setRetryMillis(unsigned millis);
    void setEncrypted(bool encrypted);
    void setCleanSession(bool cleanSession);
    void setClientId(const QString& clientId);
    void setKeepAlive(quint8 seconds);
    void setWillMessage(const QByteArray& message);
    void setWillQoS(quint8 qos);
    void setWillRetain(bool retain);
    void setWillTopic(const QString& topic);

signals:
    void connected();
    void disconnected();
    void received(QByteArray data, QByteArray from);
    void error(QString text);

public slots:
    void connect();
    void disconnect();
    void subscribe(const QString& topic, quint8 qos = 0);
    bool publish(const QByteArray& data, const QString& topic, quint8 qos = 0, bool retain = false);

private slots:
    void onConnected();
    void onDisconnected();
    void onStateChanged(manager::MqttTransport::ClientState state);
    void onTimeout();
    void onReconnect();
    void onReceived(const QByteArray& message, const QString& topic);
    void onDropped(const QString& topic, qint64 size);
    void onError(manager::MqttTransport::ClientError e);

private:
    void subscribeNow(const QString& filter, quint8 qos);

    MqttTransport* m_client = nullptr;
    QTimer* m_timer = nullptr;
    QList<QPair<QString, quint8>> m_subscriptions;
    QString m_hostname = QStringLiteral("127.0.0.1");
    unsigned m_port = 1883;
    QString m_username;
    QString m_password;
    bool m_encrypted = false;
    unsigned m_retryMillis = 3000;
    bool m_cleanSession = true;
    QString m_clientId;
    quint8 m_keepAlive = 5;
    QByteArray m_willMessage;
    quint8 m_willQoS = 2;
    bool m_willRetain = true;
    QString m_willTopic;
    TransportFactory m_factory;
};

} // namespace manager
