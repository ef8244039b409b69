#include "Network.h"

#include "MqttClient.h"

#include <QDebug>
#include <QJsonObject>
#include <QTimer>

namespace manager {

Network::Network(MqttClient& mqtt, const QString& base, QObject* parent)
    : ServiceClient(mqtt, base, QStringLiteral("[Network] "), parent)
    , m_monitor(new QTimer(this))
    , m_primaryConnection(new Connection(this))
    , m_ethernet(new Ethernet(mqtt, base, this))
{
    connect(&m_mqtt, &MqttClient::connected, this, &Network::refresh);
    connect(m_monitor, &QTimer::timeout, this, &Network::refresh);
    qInfo().noquote().nospace() << tag() << "Subscribing to topics";
    subscribe(topic("/info"));
    subscribe(topic("/status"));
}

void Network::refresh() { qInfo().noquote().nospace() << tag() << "Refreshing data"; }

void Network::monitor(int msec)
{
    if (msec > 0) {
        qInfo().noquote().nospace() << tag() << "Monitor started : " << msec << " msec(s)";
        m_monitor->start(msec);
        refresh();
    } else {
        qInfo().noquote().nospace() << tag() << "Monitor stopped";
        m_monitor->stop();
    }
}

void Network::dispatch(const QString& topicName, const QJsonObject& object)
{
    // The Ethernet topics share this base; the Ethernet object handles them.
    if (topicName == topic("/info"))
        onInfoReceived(topicName, object);
    else if (topicName == topic("/status"))
        onStatusReceived(topicName, object);
}

void Network::onInfoReceived(const QString& topicName, const QJsonObject&)
{
    qInfo().noquote().nospace() << tag() << "Processing info topic " << topicName;
}

void Network::onStatusReceived(const QString& topicName, const QJsonObject& object)
{
    qInfo().noquote().nospace() << tag() << "Processing status topic " << topicName;
    const QString state = object.value(QStringLiteral("stateStr")).toString();
    if (state != m_connectionState) {
        m_connectionState = state;
        emit connectionStateChanged();
    }
    const QString connectivity = object.value(QStringLiteral("connectivityStr")).toString();
    if (connectivity != m_connectivity) {
        m_connectivity = connectivity;
        emit connectivityChanged();
    }
    const QString hostname = object.value(QStringLiteral("hostname")).toString();
    if (hostname != m_hostname) {
        m_hostname = hostname;
        emit hostnameChanged();
    }
    m_primaryConnection->fromMap(object.value(QStringLiteral("primaryConnection")).toObject().toVariantMap());
    emit primaryConnectionChanged();
}

} // namespace manager
