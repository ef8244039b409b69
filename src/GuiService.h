#pragma once

#include "ServiceClient.h"

class Config;
class SessionManager;

// The program's own service under "mqtt/base": answers info, status and
// configuration requests and takes configuration changes. Unlike the sibling
// clients it follows a base topic that may change at run time, and a request whose
// payload does not parse is still answered, without a word in the log.
class GuiService : public manager::ServiceClient
{
    Q_OBJECT
public:
    GuiService(manager::MqttClient& mqtt, Config& config, SessionManager& session, QObject* parent = nullptr);

    // The base topic as configured now.
    QString baseTopic() const;
    // Applies the broker settings and connects; run again on every change of them.
    void initMqtt();
    void publishInfo();
    void publishStatus();
    void publishConfig();

signals:
    // "Connecting", then "Connected", for the busy screen.
    void connectionMessage(const QString& text);
    void disconnected();

protected:
    void onMqttReceived(const QByteArray& payload, const QByteArray& topic) override;
    bool acceptsTopic(const QString& topic) const override;
    void dispatch(const QString& topic, const QJsonObject& object) override;

private:
    void configureBroker();
    void subscribeToTopics();
    void onMqttConnected();
    void onMqttDisconnected();
    void onMqttError(const QString& text);
    void processMqttMessage(const QByteArray& data, const QString& topic);

    Config& m_config;
    SessionManager& m_session;
    QList<QMetaObject::Connection> m_mqttConnections;
};
