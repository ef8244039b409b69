#include "Network.h"

#include "MqttClient.h"

#include <QDebug>
#include <QJsonObject>

namespace manager {

Network::Network(MqttClient& mqtt, const QString& base, QObject* parent)
    : ServiceClient(mqtt, base, QStringLiteral("[Network] "), parent)
    , m_primaryConnection(new Connection(this))
    , m_ethernet(new Ethernet(mqtt, base, this))
{
    connect(&m_mqtt, &MqttClient::connected, this, &Network::refresh);
    log(QtInfoMsg) << "Subscribing to topics";
    subscribe(topic("/info"));
    subscribe(topic("/status"));
}

void Network::refresh() { log(QtInfoMsg) << "Refreshing data"; }

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
    log(QtInfoMsg) << "Processing info topic " << topicName;
}

void Network::onStatusReceived(const QString& topicName, const QJsonObject& object)
{
    log(QtInfoMsg) << "Processing status topic " << topicName;
    update(m_connectionState, object.value(QStringLiteral("stateStr")).toString(), &Network::connectionStateChanged);
    update(m_connectivity, object.value(QStringLiteral("connectivityStr")).toString(), &Network::connectivityChanged);
    update(m_hostname, object.value(QStringLiteral("hostname")).toString(), &Network::hostnameChanged);
    m_primaryConnection->fromMap(object.value(QStringLiteral("primaryConnection")).toObject().toVariantMap());
    emit primaryConnectionChanged();
}

} // namespace manager
