#pragma once

#include "Connection.h"
#include "Ethernet.h"
#include "ServiceClient.h"

namespace manager {

// The network service's summary of the device's networking. It only listens: the
// service publishes "/info" and "/status" on its own schedule.
class Network : public ServiceClient
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    Q_PROPERTY(QString connectionState READ connectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(QString connectivity READ connectivity NOTIFY connectivityChanged)
    Q_PROPERTY(QString hostname READ hostname NOTIFY hostnameChanged)
    Q_PROPERTY(manager::Connection* primaryConnection READ primaryConnection NOTIFY primaryConnectionChanged)
    Q_PROPERTY(manager::Ethernet* ethernet READ ethernet NOTIFY ethernetChanged)
public:
    Network(MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    // No message reports it; kept for the pages that may bind to it.
    bool isConnected() const { return m_connected; }
    QString connectionState() const { return m_connectionState; }
    QString connectivity() const { return m_connectivity; }
    QString hostname() const { return m_hostname; }
    Connection* primaryConnection() const { return m_primaryConnection; }
    Ethernet* ethernet() const { return m_ethernet; }

signals:
    void isConnectedChanged();
    void connectionStateChanged();
    void connectivityChanged();
    void hostnameChanged();
    void primaryConnectionChanged();
    void ethernetChanged();

public slots:
    void refresh() override;
    void monitor(int msec) { runMonitor(msec); }

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private:
    void onInfoReceived(const QString& topic, const QJsonObject& object);
    void onStatusReceived(const QString& topic, const QJsonObject& object);

    bool m_connected = false;
    QString m_connectionState;
    QString m_connectivity;
    QString m_hostname;
    Connection* m_primaryConnection;
    Ethernet* m_ethernet;
};

} // namespace manager
