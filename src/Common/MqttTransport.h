#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace manager {

// The connection beneath MqttClient: state, errors and parameters as a Qt MQTT
// client would offer them. The device uses MosquittoTransport; tests put a fake here.
class MqttTransport : public QObject
{
    Q_OBJECT
public:
    enum ClientState { Disconnected = 0, Connecting, Connected };
    Q_ENUM(ClientState)

    // Values follow the CONNACK return codes, then the client-side failures.
    enum ClientError {
        NoError = 0,
        InvalidProtocolVersion = 1,
        IdRejected = 2,
        ServerUnavailable = 3,
        BadUsernameOrPassword = 4,
        NotAuthorized = 5,
        TransportInvalid = 256,
        ProtocolViolation,
        UnknownError,
        Mqtt5SpecificError
    };
    Q_ENUM(ClientError)

    // No service sends a message near this size (the largest, a status with its lists,
    // is a few kilobytes). Anything larger is dropped before it is copied, so one
    // enormous message cannot take the memory of the unit.
    static constexpr int MaxMessageBytes = 256 * 1024;
    // The largest packet the broker is asked to send: the largest message with room for
    // a topic, headers and properties. A broker that honours it drops anything larger
    // before it reaches this process; what gets through above MaxMessageBytes is still
    // dropped unread.
    static constexpr int MaxPacketBytes = MaxMessageBytes + 128 * 1024;

    explicit MqttTransport(QObject* parent = nullptr) : QObject(parent) {}
    ~MqttTransport() override = default;

    ClientState state() const { return m_state; }
    ClientError error() const { return m_error; }
    // The MQTT protocol level of the current or last attempt (4: 3.1.1, 5: 5.0).
    int protocolVersion() const { return m_protocolVersion; }

    QString hostname() const { return m_hostname; }
    quint16 port() const { return m_port; }
    QString username() const { return m_username; }
    QString password() const { return m_password; }
    bool cleanSession() const { return m_cleanSession; }
    QString clientId() const { return m_clientId; }
    quint16 keepAlive() const { return m_keepAlive; }
    QByteArray willMessage() const { return m_willMessage; }
    quint8 willQoS() const { return m_willQoS; }
    bool willRetain() const { return m_willRetain; }
    QString willTopic() const { return m_willTopic; }

    void setHostname(const QString& v) { m_hostname = v; }
    void setPort(quint16 v) { m_port = v; }
    void setUsername(const QString& v) { m_username = v; }
    void setPassword(const QString& v) { m_password = v; }
    void setCleanSession(bool v) { m_cleanSession = v; }
    void setClientId(const QString& v) { m_clientId = v; }
    void setKeepAlive(quint16 v) { m_keepAlive = v; }
    void setWillMessage(const QByteArray& v) { m_willMessage = v; }
    void setWillQoS(quint8 v) { m_willQoS = v; }
    void setWillRetain(bool v) { m_willRetain = v; }
    void setWillTopic(const QString& v) { m_willTopic = v; }

    // Starts an attempt with the parameters above; the outcome arrives as signals.
    // While connecting it does nothing; while connected with changed parameters it
    // leaves cleanly, so that the next attempt uses them.
    virtual void connectToHost() = 0;
    virtual void disconnectFromHost() = 0;
    // False when the request could not be handed to the connection.
    virtual bool subscribe(const QString& filter, quint8 qos) = 0;
    // The message id (0 for QoS 0), or -1 on failure.
    virtual int publish(const QString& topic, const QByteArray& payload, quint8 qos, bool retain) = 0;
    // Cuts off an attempt that hangs; the state then falls back to Disconnected.
    virtual void closeTransport() = 0;

signals:
    void stateChanged(manager::MqttTransport::ClientState state);
    void errorChanged(manager::MqttTransport::ClientError error);
    void connected();
    void disconnected();
    void messageReceived(const QByteArray& message, const QString& topic);
    // A message larger than MaxMessageBytes arrived and was not read.
    void messageDropped(const QString& topic, qint64 size);

protected:
    // Same order as Qt's MQTT client: the state, then connected() or disconnected()
    // (the latter on every fall back to Disconnected, failed attempts included),
    // then the error (a new attempt resets it to NoError, so a repeated failure is
    // reported again).
    void setStateAndError(ClientState state, ClientError error = NoError)
    {
        if (state != m_state) {
            m_state = state;
            emit stateChanged(state);
            if (state == Disconnected)
                emit disconnected();
            else if (state == Connected)
                emit connected();
        }
        if (error != m_error) {
            m_error = error;
            emit errorChanged(error);
        }
    }
    void setProtocolVersion(int version) { m_protocolVersion = version; }

private:
    ClientState m_state = Disconnected;
    int m_protocolVersion = 4;
    ClientError m_error = NoError;
    QString m_hostname;
    quint16 m_port = 1883;
    QString m_username;
    QString m_password;
    bool m_cleanSession = true;
    QString m_clientId;
    quint16 m_keepAlive = 60;
    QByteArray m_willMessage;
    quint8 m_willQoS = 0;
    bool m_willRetain = false;
    QString m_willTopic;
};

} // namespace manager
