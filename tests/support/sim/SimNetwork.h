#pragma once

#include "SimService.h"

// The network service: connectivity of the primary connection and the Ethernet
// interface, which settles on a new configuration after a short delay.
class SimNetwork : public SimService
{
    Q_OBJECT
public:
    SimNetwork(manager::MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QStringList requestTopics() const override;
    bool handleRequest(const QString& topic, const QJsonObject& request, bool empty) override;
    void publishAll() override;
    QStringList stateLines() const override;

    bool cmdNet(const QStringList& args);

private:
    struct State
    {
        QString interface = QStringLiteral("eth0");
        QString mac = QStringLiteral("02:5a:11:04:17:3c");
        QString state = QStringLiteral("Connected");
        QString reason = QStringLiteral("None");
        QString method = QStringLiteral("auto");
        QJsonObject manual; // address, netmask, gateway, dns0, dns1 as configured
        QJsonObject lease; // what the DHCP server hands out
        QJsonObject inForce; // the settings on the interface now
        QString connection = QStringLiteral("Connected");
        QString connectivity = QStringLiteral("Full");
        QString hostname = QStringLiteral("validator-0417");
    };

    QJsonObject status() const;
    QJsonObject ethernetState() const;
    QJsonObject ethernetConfig() const;
    void publishEthernet();
    void reconfigureEthernet();

    State m_state;
};
