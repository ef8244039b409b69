#include "MqttClient.h"

#include "MosquittoTransport.h"
#include "Secrets.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QMetaType>
#include <QTimer>

#include <algorithm>

namespace manager {

namespace {
const char* boolText(bool b) { return b ? "true" : "false"; }

// A payload as the debug line shows it: text with its secrets masked; a binary one
// (a screenshot) only by its size, never its bytes.
QString printablePayload(const QByteArray& data)
{
    const QString text = QString::fromUtf8(data);
    if (data.contains('\0') || text.contains(QChar::ReplacementCharacter))
        return QStringLiteral("<%1 bytes of binary data>").arg(data.size());
    return maskSecrets(text);
}
bool debugEnabled() { return QLoggingCategory::defaultCategory()->isDebugEnabled(); }
} // namespace

#define MQTT_LOG(level) level().noquote().nospace() << "[MqttClient] "

MqttClient::MqttClient(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<MqttTransport::ClientState>("ClientState");
    qRegisterMetaType<MqttTransport::ClientError>("ClientError");
}

MqttClient::~MqttClient()
{
    delete m_timer;
    delete m_client;
}

void MqttClient::setTransportFactory(TransportFactory factory) { m_factory = std::move(factory); }

MqttClient::ClientState MqttClient::state() const { return m_client ? m_client->state() : MqttTransport::Disconnected; }

QStringList MqttClient::subscriptions() const
{
    QStringList filters;
    for (const auto& s : m_subscriptions)
        filters << s.first;
    return filters;
}

void MqttClient::setHostname(const QString& hostname) { m_hostname = hostname; }
void MqttClient::setPort(unsigned port) { m_port = port; }
void MqttClient::setUsername(const QString& username) { m_username = username; }
void MqttClient::setPassword(const QString& password) { m_password = password; }
void MqttClient::setRetryMillis(unsigned millis) { m_retryMillis = millis; }
void MqttClient::setEncrypted(bool encrypted) { m_encrypted = encrypted; }
void MqttClient::setCleanSession(bool cleanSession) { m_cleanSession = cleanSession; }
void MqttClient::setClientId(const QString& clientId) { m_clientId = clientId; }
void MqttClient::setKeepAlive(quint8 seconds) { m_keepAlive = seconds; }
void MqttClient::setWillMessage(const QByteArray& message) { m_willMessage = message; }
void MqttClient::setWillQoS(quint8 qos) { m_willQoS = qos; }
void MqttClient::setWillRetain(bool retain) { m_willRetain = retain; }
void MqttClient::setWillTopic(const QString& topic) { m_willTopic = topic; }

void MqttClient::connect()
{
    MQTT_LOG(qInfo) << "Connecting to host";

    if (!m_timer) {
        m_timer = new QTimer();
        m_timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_timer, &QTimer::timeout, this, &MqttClient::onTimeout);
    }
    MQTT_LOG(qDebug) << "Applying client configuration:";
    MQTT_LOG(qDebug) << "Retry interval millis: " << m_retryMillis;
    m_timer->setInterval(int(m_retryMillis));

    if (!m_client) {
        m_client = m_factory ? m_factory() : new MosquittoTransport();
        // Subscriptions first: a listener of connected() may announce the program at
        // once, and a peer that answers must find every filter already asked for.
        QObject::connect(m_client, &MqttTransport::connected, this, &MqttClient::onConnected);
        QObject::connect(m_client, &MqttTransport::connected, this, &MqttClient::connected);
        QObject::connect(m_client, &MqttTransport::disconnected, this, &MqttClient::disconnected);
        QObject::connect(m_client, &MqttTransport::disconnected, this, &MqttClient::onDisconnected);
        QObject::connect(m_client, &MqttTransport::errorChanged, this, &MqttClient::onError);
        QObject::connect(m_client, &MqttTransport::stateChanged, this, &MqttClient::onStateChanged);
        QObject::connect(m_client, &MqttTransport::messageReceived, this, &MqttClient::onReceived);
        QObject::connect(m_client, &MqttTransport::messageDropped, this, &MqttClient::onDropped);
    }
    MQTT_LOG(qDebug) << "Applying client configuration:";
    MQTT_LOG(qDebug) << "Hostname: " << m_hostname;
    MQTT_LOG(qDebug) << "Port    : " << m_port;
    MQTT_LOG(qDebug) << "Username: " << m_username;
    MQTT_LOG(qDebug) << "CleanSession: " << boolText(m_cleanSession);
    MQTT_LOG(qDebug) << "Client Id   : " << m_clientId;
    MQTT_LOG(qDebug) << "Keepalive   : " << m_keepAlive;
    MQTT_LOG(qDebug) << "Will Message: " << QString::fromUtf8(m_willMessage);
    MQTT_LOG(qDebug) << "Will QoS    : " << m_willQoS;
    MQTT_LOG(qDebug) << "Will Retain : " << boolText(m_willRetain);
    MQTT_LOG(qDebug) << "Will Topic  : " << m_willTopic;
    m_client->setHostname(m_hostname);
    m_client->setPort(quint16(m_port));
    m_client->setUsername(m_username);
    m_client->setPassword(m_password);
    m_client->setCleanSession(m_cleanSession);
    m_client->setClientId(m_clientId);
    m_client->setKeepAlive(m_keepAlive);
    m_client->setWillMessage(m_willMessage);
    m_client->setWillQoS(m_willQoS);
    m_client->setWillRetain(m_willRetain);
    m_client->setWillTopic(m_willTopic);

    if (m_encrypted)
        MQTT_LOG(qWarning) << "Encryption not yet supported";

    m_client->connectToHost();
}

void MqttClient::disconnect()
{
    MQTT_LOG(qInfo) << "Disconnecting from host";
    if (m_client)
        m_client->disconnectFromHost();
}

void MqttClient::onStateChanged(MqttTransport::ClientState state)
{
    switch (state) {
    case MqttTransport::Connecting:
        MQTT_LOG(qDebug) << "State is Connecting.";
        m_timer->start(int(m_retryMillis));
        break;
    case MqttTransport::Connected:
        MQTT_LOG(qDebug) << "State is Connected.";
        m_timer->stop();
        break;
    case MqttTransport::Disconnected:
        MQTT_LOG(qDebug) << "State is Disconnected.";
        m_timer->stop();
        QTimer::singleShot(int(m_retryMillis), Qt::PreciseTimer, this, &MqttClient::onReconnect);
        break;
    }
}

void MqttClient::onTimeout()
{
    // The attempt hangs: cutting the transport brings Disconnected and a new attempt.
    if (m_client && m_client->state() == MqttTransport::Connecting)
        m_client->closeTransport();
}

void MqttClient::onReconnect()
{
    if (m_client && m_client->state() == MqttTransport::Disconnected)
        connect();
}

void MqttClient::onConnected()
{
    MQTT_LOG(qInfo) << "Connected to broker " << m_hostname;
    // Copy: a listener of the subscription may subscribe more.
    const auto subscriptions = m_subscriptions;
    for (const auto& s : subscriptions)
        subscribeNow(s.first, s.second);
}

void MqttClient::onDisconnected() { MQTT_LOG(qInfo) << "Disconnected from broker " << m_hostname; }

void MqttClient::subscribe(const QString& topic, quint8 qos)
{
    // Each filter is remembered once: asking again (as a listener of connected()
    // may, on every connection) only changes its QoS.
    auto known = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
        [&topic](const QPair<QString, quint8>& s) { return s.first == topic; });
    if (known == m_subscriptions.end())
        m_subscriptions.append(qMakePair(topic, qos));
    else if (known->second == qos)
        return; // already asked for on this connection, or will be on the next
    else
        known->second = qos;
    if (m_client && m_client->state() == MqttTransport::Connected)
        subscribeNow(topic, qos);
}

void MqttClient::subscribeNow(const QString& filter, quint8 qos)
{
    MQTT_LOG(qInfo) << "Subscribing to '" << filter << "' with QoS = " << qos;
    if (!m_client->subscribe(filter, qos))
        emit error(QStringLiteral("Subscription to ") + filter + QStringLiteral(" failed."));
}

bool MqttClient::publish(const QByteArray& data, const QString& topic, quint8 qos, bool retain)
{
    if (!m_client || m_client->state() != MqttTransport::Connected)
        return false;
    // Payloads may be large: convert them only when debug lines are kept.
    if (debugEnabled())
        MQTT_LOG(qDebug) << "Publishing to topic '" << topic << "' with Qos = " << qos
                         << " and Retain = " << boolText(retain) << ":\n"
                         << printablePayload(data);
    if (m_client->publish(topic, data, qos, retain) == -1) {
        emit error(QStringLiteral("Publish to ") + topic + QStringLiteral(" failed."));
        return false;
    }
    return true;
}

void MqttClient::onReceived(const QByteArray& message, const QString& topic)
{
    // A transport that let one through is held to the same limit.
    if (message.size() > MqttTransport::MaxMessageBytes) {
        onDropped(topic, message.size());
        return;
    }
    if (debugEnabled())
        MQTT_LOG(qDebug) << "Received on topic: " << topic << "\n" << maskSecrets(QString::fromUtf8(message));
    emit received(message, topic.toUtf8());
}

void MqttClient::onDropped(const QString& topic, qint64 size)
{
    // Never the payload: it is not read, and could be anything.
    MQTT_LOG(qCritical) << "Dropped a message of " << size << " bytes on topic '" << topic.left(256)
                        << "': larger than the " << MqttTransport::MaxMessageBytes << " bytes any service sends";
}

void MqttClient::onError(MqttTransport::ClientError e)
{
    switch (e) {
    case MqttTransport::NoError:
        return;
    case MqttTransport::InvalidProtocolVersion:
        MQTT_LOG(qWarning) << "Invalid protocol version: " << m_client->protocolVersion() << ". "
                           << "Broker does not accept a connection using the "
                           << "specified protocol version.";
        break;
    case MqttTransport::IdRejected:
        MQTT_LOG(qWarning) << "Id rejected: " << m_client->clientId() << ". "
                           << "The client ID is malformed. This might be related to "
                           << "its length.";
        break;
    case MqttTransport::ServerUnavailable:
        MQTT_LOG(qWarning) << "Server unavailable: " << m_client->hostname() << ":" << m_client->port() << ". "
                           << "The network connection has been established, but the "
                           << "service is unavailable on the broker side.";
        break;
    case MqttTransport::BadUsernameOrPassword:
        MQTT_LOG(qWarning) << "Bad username or password. The data in the username or "
                           << "password is malformed.";
        break;
    case MqttTransport::NotAuthorized:
        MQTT_LOG(qWarning) << "Not authorized: " << m_client->clientId() << ". "
                           << "The client is not authorized to connect.";
        break;
    case MqttTransport::TransportInvalid:
        MQTT_LOG(qWarning) << "Transport invalid: "
                           << "The underlying transport caused an error. For "
                           << "example, the connection might have been interrupted "
                           << "unexpectedly.";
        break;
    case MqttTransport::ProtocolViolation:
        MQTT_LOG(qWarning) << "Protocol violation:"
                           << "The client encountered a protocol violation, and "
                           << "therefore closed the connection.";
        break;
    default:
        MQTT_LOG(qWarning) << "Unknown error.";
        break;
    }
    emit error(QStringLiteral("Mqtt client error"));
}

} // namespace manager
