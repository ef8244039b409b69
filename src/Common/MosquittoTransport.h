#pragma once

#include "MqttTransport.h"

#include <QList>
#include <QPointer>

class QSocketNotifier;
class QTimer;
struct mosquitto;
struct mosquitto_message;

namespace manager {

// Drives one libmosquitto client from the Qt event loop: socket notifiers for
// reading and (only while data waits) writing, a timer for keep-alive housekeeping.
// No library thread and no blocking loop call. Speaks MQTT 5, so that the broker can be
// told the largest packet this client takes, and falls back to 3.1.1 for a broker that
// does not know 5.
class MosquittoTransport : public MqttTransport
{
    Q_OBJECT
public:
    explicit MosquittoTransport(QObject* parent = nullptr);
    ~MosquittoTransport() override;

    void connectToHost() override;
    void disconnectFromHost() override;
    bool subscribe(const QString& filter, quint8 qos) override;
    int publish(const QString& topic, const QByteArray& payload, quint8 qos, bool retain) override;
    void closeTransport() override;

private:
    static void onConnectCb(mosquitto*, void* self, int rc);
    static void onDisconnectCb(mosquitto*, void* self, int rc);
    static void onMessageCb(mosquitto*, void* self, const mosquitto_message* msg);

    void onReadable();
    void onWritable();
    void onHousekeeping();
    // Reacts to a library result: a lost connection becomes Disconnected.
    void handleResult(int rc);
    // Re-creates the notifiers when the socket changed and arms the write notifier
    // only while the library has something to send.
    void syncNotifiers();
    void dropNotifiers();
    void failAttempt(ClientError error);
    void flushEvents();
    void afterApiCall();
    // Destroys the library client (closing its socket without DISCONNECT).
    void releaseClient();
    QByteArray parameterKey() const;
    // The next attempts use MQTT 3.1.1: the broker refused or misread MQTT 5.
    void fallBackToLegacyProtocol();

    // What the library's callbacks reported, delivered after the library call returns.
    struct Event
    {
        enum Kind { Connack, Lost, Message, Dropped } kind;
        int rc; // the size of a dropped message
        QByteArray payload;
        QString topic;
    };
    QList<Event> m_events;
    ClientError m_pendingError = NoError;

    mosquitto* m_mosq = nullptr;
    int m_fd = -1;
    QPointer<QSocketNotifier> m_readNotifier;
    QPointer<QSocketNotifier> m_writeNotifier;
    QTimer* m_housekeeping = nullptr;
    bool m_disconnectRequested = false;
    bool m_flushScheduled = false;
    // The parameters of the current connection, to notice a change on connectToHost().
    QByteArray m_connectedKey;
    // Set while the broker at m_legacyKey's parameters takes MQTT 3.1.1 only.
    bool m_legacyProtocol = false;
    QByteArray m_legacyKey;
};

} // namespace manager
