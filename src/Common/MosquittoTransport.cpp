#include "MosquittoTransport.h"

#include <QDataStream>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <sys/socket.h>

#include <cstdint>
#include <mutex>

namespace manager {

namespace {

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// The refusals of MQTT 3.1.1 and their MQTT 5 counterparts.
MqttTransport::ClientError connackError(int rc)
{
    switch (rc) {
    case 1:
    case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
        return MqttTransport::InvalidProtocolVersion;
    case 2:
    case MQTT_RC_CLIENTID_NOT_VALID:
        return MqttTransport::IdRejected;
    case 3:
    case MQTT_RC_SERVER_UNAVAILABLE:
    case MQTT_RC_SERVER_BUSY:
        return MqttTransport::ServerUnavailable;
    case 4:
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
    case MQTT_RC_BAD_AUTHENTICATION_METHOD:
        return MqttTransport::BadUsernameOrPassword;
    case 5:
    case MQTT_RC_NOT_AUTHORIZED:
    case MQTT_RC_BANNED:
        return MqttTransport::NotAuthorized;
    default:
        return MqttTransport::UnknownError;
    }
}

// libmosquitto 2.0 has no asynchronous connect that takes MQTT 5 properties, and its
// blocking one would hold the event loop for as long as a TCP handshake may take. It keeps
// the properties given to mosquitto_connect_bind_v5() for every later (re)connection of
// the client, though, and that call refuses a keep-alive under 5 s before it touches the
// network: so the properties are handed over by a call that is refused, and the
// asynchronous connect sends them.
void setConnectProperties(mosquitto* mosq, const QByteArray& host, int port, bool cleanSession)
{
    mosquitto_property* props = nullptr;
    // The broker then never sends this client a larger packet: it drops it and logs
    // "Dropping too large outgoing PUBLISH for <client id> (<n> bytes)".
    int rc = mosquitto_property_add_int32(&props, MQTT_PROP_MAXIMUM_PACKET_SIZE, MqttTransport::MaxPacketBytes);
    // MQTT 5 ends a session at the disconnection unless told otherwise; 3.1.1 kept a
    // session without clean start until it was cleaned.
    if (rc == MOSQ_ERR_SUCCESS && !cleanSession)
        rc = mosquitto_property_add_int32(&props, MQTT_PROP_SESSION_EXPIRY_INTERVAL, UINT32_MAX);
    if (rc == MOSQ_ERR_SUCCESS)
        mosquitto_connect_bind_v5(mosq, host.constData(), port, 1, nullptr, props);
    mosquitto_property_free_all(&props);
}

MqttTransport::ClientError lossError(int rc)
{
    switch (rc) {
    case MOSQ_ERR_SUCCESS:
        return MqttTransport::NoError;
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
    case MOSQ_ERR_MALFORMED_UTF8:
    case MOSQ_ERR_PAYLOAD_SIZE:
        return MqttTransport::ProtocolViolation;
    default:
        return MqttTransport::TransportInvalid;
    }
}

} // namespace

MosquittoTransport::MosquittoTransport(QObject* parent)
    : MqttTransport(parent)
{
    initLibrary();
    m_housekeeping = new QTimer(this);
    m_housekeeping->setInterval(500);
    connect(m_housekeeping, &QTimer::timeout, this, &MosquittoTransport::onHousekeeping);
}

MosquittoTransport::~MosquittoTransport()
{
    // No DISCONNECT: a client that goes away leaves its will to the broker.
    releaseClient();
}

QByteArray MosquittoTransport::parameterKey() const
{
    QByteArray key;
    QDataStream out(&key, QIODevice::WriteOnly);
    out << hostname() << port() << username() << password() << cleanSession() << clientId() << keepAlive()
        << willMessage() << willQoS() << willRetain() << willTopic();
    return key;
}

void MosquittoTransport::connectToHost()
{
    if (state() == Connecting)
        return; // the attempt under way stands; new parameters apply to the next one
    if (state() == Connected) {
        // New parameters: leave cleanly (no will) and let the reconnection use them.
        // Cutting the socket instead would make the broker publish the will while we live.
        if (parameterKey() != m_connectedKey)
            disconnectFromHost();
        return;
    }

    // A fresh library client per attempt: parameters and will apply anew, and no
    // state of the previous socket survives.
    releaseClient();
    m_disconnectRequested = false;
    m_pendingError = NoError;
    m_connectedKey = parameterKey();
    // New parameters may lead to another broker: try MQTT 5 there again.
    if (m_legacyProtocol && m_connectedKey != m_legacyKey)
        m_legacyProtocol = false;
    setProtocolVersion(m_legacyProtocol ? MQTT_PROTOCOL_V311 : MQTT_PROTOCOL_V5);

    const QByteArray id = clientId().toUtf8();
    m_mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), cleanSession(), this);
    if (!m_mosq) {
        setStateAndError(Connecting, NoError);
        failAttempt(IdRejected);
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, protocolVersion());
    mosquitto_connect_callback_set(m_mosq, &MosquittoTransport::onConnectCb);
    mosquitto_disconnect_callback_set(m_mosq, &MosquittoTransport::onDisconnectCb);
    mosquitto_message_callback_set(m_mosq, &MosquittoTransport::onMessageCb);

    if (!username().isEmpty() || !password().isEmpty()) {
        const QByteArray user = username().toUtf8();
        const QByteArray pass = password().toUtf8();
        mosquitto_username_pw_set(m_mosq, user.constData(), pass.isEmpty() ? nullptr : pass.constData());
    }
    if (!willTopic().isEmpty()) {
        const QByteArray topic = willTopic().toUtf8();
        const QByteArray msg = willMessage();
        mosquitto_will_set(m_mosq, topic.constData(), msg.size(), msg.constData(), willQoS(), willRetain());
    }

    setStateAndError(Connecting, NoError);
    if (state() != Connecting)
        return; // a listener started something else meanwhile

    // Non-blocking: the TCP handshake and CONNACK complete through the notifiers.
    const QByteArray host = hostname().toUtf8();
    if (protocolVersion() == MQTT_PROTOCOL_V5)
        setConnectProperties(m_mosq, host, port(), cleanSession());
    const int rc = mosquitto_connect_async(m_mosq, host.constData(), port(), keepAlive());
    if (rc != MOSQ_ERR_SUCCESS) {
        failAttempt(TransportInvalid);
        return;
    }
    syncNotifiers();
    m_housekeeping->start();
}

void MosquittoTransport::releaseClient()
{
    dropNotifiers();
    m_housekeeping->stop();
    m_events.clear();
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
}

void MosquittoTransport::failAttempt(ClientError error)
{
    // Reported from the event loop, as an asynchronous client would, so a caller of
    // connectToHost() never sees the outcome inside its own call.
    QPointer<MosquittoTransport> self(this);
    QTimer::singleShot(0, this, [self, error] {
        if (!self || self->state() != Connecting)
            return;
        self->releaseClient();
        self->setStateAndError(Disconnected, error);
    });
}

void MosquittoTransport::disconnectFromHost()
{
    if (!m_mosq || state() == Disconnected)
        return;
    m_disconnectRequested = true;
    if (state() == Connecting || mosquitto_disconnect(m_mosq) != MOSQ_ERR_SUCCESS) {
        closeTransport();
        return;
    }
    // The DISCONNECT usually leaves at once and the library reports the end inside
    // this call; otherwise the write notifier sends it and the socket closes then.
    afterApiCall();
    // Closing counts as disconnected from now on: a publish meanwhile is refused like
    // any publish while not connected, instead of failing inside the library.
    setStateAndError(Disconnected, NoError);
}

bool MosquittoTransport::subscribe(const QString& filter, quint8 qos)
{
    if (!m_mosq || state() != Connected)
        return false;
    const QByteArray f = filter.toUtf8();
    const int rc = mosquitto_subscribe(m_mosq, nullptr, f.constData(), qos);
    afterApiCall();
    return rc == MOSQ_ERR_SUCCESS;
}

int MosquittoTransport::publish(const QString& topic, const QByteArray& payload, quint8 qos, bool retain)
{
    if (!m_mosq || state() != Connected)
        return -1;
    int mid = 0;
    const QByteArray t = topic.toUtf8();
    const int rc = mosquitto_publish(
        m_mosq, &mid, t.constData(), payload.size(), payload.isEmpty() ? nullptr : payload.constData(), qos, retain);
    afterApiCall();
    if (rc != MOSQ_ERR_SUCCESS)
        return -1;
    return qos == 0 ? 0 : mid;
}

void MosquittoTransport::afterApiCall()
{
    syncNotifiers();
    // Whatever the library reported inside a call made by a caller goes out from the
    // event loop, never back into the caller's own stack.
    if (!m_events.isEmpty() && !m_flushScheduled) {
        m_flushScheduled = true;
        QPointer<MosquittoTransport> self(this);
        QTimer::singleShot(0, this, [self] {
            if (!self)
                return;
            self->m_flushScheduled = false;
            self->handleResult(MOSQ_ERR_SUCCESS);
        });
    }
}

void MosquittoTransport::closeTransport()
{
    if (!m_mosq || state() == Disconnected)
        return;
    const int fd = mosquitto_socket(m_mosq);
    if (fd >= 0) {
        // The library has no abort call: shutting the socket down makes the next read
        // report a lost connection and run the normal disconnect path.
        ::shutdown(fd, SHUT_RDWR);
    }
    QPointer<MosquittoTransport> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self || self->state() == Disconnected)
            return;
        self->onReadable();
        // A socket still in its TCP handshake may not report the shutdown: drop the
        // library client altogether rather than stay in Connecting.
        if (self && self->state() != Disconnected) {
            self->releaseClient();
            self->setStateAndError(Disconnected, self->m_disconnectRequested ? NoError : TransportInvalid);
        }
    });
}

void MosquittoTransport::onReadable()
{
    if (!m_mosq)
        return;
    handleResult(mosquitto_loop_read(m_mosq, 1));
}

void MosquittoTransport::onWritable()
{
    if (!m_mosq)
        return;
    handleResult(mosquitto_loop_write(m_mosq, 1));
}

void MosquittoTransport::onHousekeeping()
{
    if (!m_mosq)
        return;
    handleResult(mosquitto_loop_misc(m_mosq));
}

void MosquittoTransport::handleResult(int rc)
{
    QPointer<MosquittoTransport> self(this);
    // Callbacks ran inside the library call; their signals go out only now, so a
    // listener may reconnect or publish without re-entering the library.
    flushEvents();
    if (!self || !m_mosq)
        return;
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN && mosquitto_socket(m_mosq) < 0 && state() != Disconnected) {
        // Lost without the library calling back (not expected, but never leave the
        // state hanging in Connecting or Connected).
        dropNotifiers();
        m_housekeeping->stop();
        setStateAndError(Disconnected, lossError(rc));
        return;
    }
    syncNotifiers();
}

void MosquittoTransport::flushEvents()
{
    QPointer<MosquittoTransport> self(this);
    while (self && !m_events.isEmpty()) {
        const Event ev = m_events.takeFirst();
        switch (ev.kind) {
        case Event::Connack:
            if (ev.rc == 0) {
                setStateAndError(Connected, NoError);
            } else {
                m_pendingError = connackError(ev.rc);
                if (m_pendingError == InvalidProtocolVersion)
                    fallBackToLegacyProtocol();
            }
            break;
        case Event::Lost: {
            // A CONNACK that is not an MQTT 5 one: the broker speaks 3.1.1 only.
            if (state() == Connecting && m_pendingError == NoError && lossError(ev.rc) == ProtocolViolation)
                fallBackToLegacyProtocol();
            ClientError err = m_pendingError != NoError ? m_pendingError
                : m_disconnectRequested                 ? NoError
                                                        : lossError(ev.rc);
            if (err == NoError && !m_disconnectRequested)
                err = TransportInvalid;
            m_pendingError = NoError;
            dropNotifiers();
            m_housekeeping->stop();
            setStateAndError(Disconnected, err);
            break;
        }
        case Event::Message:
            emit messageReceived(ev.payload, ev.topic);
            break;
        case Event::Dropped:
            emit messageDropped(ev.topic, ev.rc);
            break;
        }
    }
}

void MosquittoTransport::fallBackToLegacyProtocol()
{
    // Until the parameters change. Without MQTT 5 the broker cannot be told the packet
    // limit; a larger message is then read and dropped in the message callback.
    if (protocolVersion() != MQTT_PROTOCOL_V5)
        return;
    m_legacyProtocol = true;
    m_legacyKey = m_connectedKey;
}

void MosquittoTransport::onConnectCb(mosquitto*, void* self, int rc)
{
    auto* t = static_cast<MosquittoTransport*>(self);
    t->m_events.append(Event { Event::Connack, rc, {}, {} });
}

void MosquittoTransport::onDisconnectCb(mosquitto*, void* self, int rc)
{
    auto* t = static_cast<MosquittoTransport*>(self);
    t->m_events.append(Event { Event::Lost, rc, {}, {} });
}

void MosquittoTransport::onMessageCb(mosquitto*, void* self, const mosquitto_message* msg)
{
    auto* t = static_cast<MosquittoTransport*>(self);
    // The library's buffer is freed when this returns: an oversize message is never copied.
    if (msg->payloadlen > MaxMessageBytes) {
        t->m_events.append(Event { Event::Dropped, msg->payloadlen, {}, QString::fromUtf8(msg->topic) });
        return;
    }
    t->m_events.append(Event { Event::Message, 0, QByteArray(static_cast<const char*>(msg->payload), msg->payloadlen),
        QString::fromUtf8(msg->topic) });
}

void MosquittoTransport::syncNotifiers()
{
    const int fd = m_mosq ? mosquitto_socket(m_mosq) : -1;
    if (fd != m_fd || !m_readNotifier || !m_writeNotifier) {
        dropNotifiers();
        if (fd >= 0) {
            m_fd = fd;
            m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MosquittoTransport::onReadable);
            m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MosquittoTransport::onWritable);
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_mosq && mosquitto_want_write(m_mosq));
}

void MosquittoTransport::dropNotifiers()
{
    // Never deleted inside their own activation: deleteLater.
    for (QPointer<QSocketNotifier>* n : { &m_readNotifier, &m_writeNotifier }) {
        if (*n) {
            (*n)->setEnabled(false);
            (*n)->deleteLater();
        }
        *n = nullptr;
    }
    m_fd = -1;
}

} // namespace manager
