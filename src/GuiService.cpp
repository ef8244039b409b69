#include "GuiService.h"

#include "Config.h"
#include "GuiLog.h"
#include "MqttClient.h"
#include "Secrets.h"
#include "SessionManager.h"
#include "SettingsKeys.h"

#include <QCoreApplication>

GuiService::GuiService(manager::MqttClient& mqtt, Config& config, SessionManager& session, QObject* parent)
    : ServiceClient(mqtt, config.get(manager::keys::MqttBase).toString(), QStringLiteral("[GUIManager] "), parent)
    , m_config(config)
    , m_session(session)
{
}

QString GuiService::baseTopic() const { return m_config.get(manager::keys::MqttBase).toString(); }

void GuiService::initMqtt()
{
    // Re-run on every broker setting change: the old reactions go, so none is doubled.
    for (const auto& c : qAsConst(m_mqttConnections))
        disconnect(c);
    m_mqttConnections = {
        connect(&m_mqtt, &manager::MqttClient::connected, this, &GuiService::onMqttConnected),
        connect(&m_mqtt, &manager::MqttClient::disconnected, this, &GuiService::onMqttDisconnected),
        connect(&m_mqtt, &manager::MqttClient::error, this, &GuiService::onMqttError),
    };
    configureBroker();
    // The message goes first: a connection that completes at once must not be
    // reported as still connecting.
    emit connectionMessage(QStringLiteral("Connecting"));
    // Remembered by the client and renewed on every connection before anyone is told.
    subscribeToTopics();
    m_mqtt.connect();
}

void GuiService::onMqttConnected()
{
    GUI_LOG(qInfo) << "Connected to MQTT broker";
    emit connectionMessage(QStringLiteral("Connected"));
    publishInfo();
    publishStatus();
    publishConfig();
}

void GuiService::onMqttDisconnected()
{
    GUI_LOG(qWarning) << "WARN: Disconnected from MQTT broker";
    emit disconnected();
}

void GuiService::onMqttError(const QString& text) { GUI_LOG(qCritical) << "ERROR: " << text; }

void GuiService::configureBroker()
{
    m_mqtt.setClientId(
        QStringLiteral("%1_%2").arg(QCoreApplication::applicationName()).arg(QCoreApplication::applicationPid()));
    m_mqtt.setWillMessage(QByteArrayLiteral("{\"service\": false}"));
    m_mqtt.setWillTopic(baseTopic() + QStringLiteral("/status"));
    m_mqtt.setHostname(m_config.get(manager::keys::MqttHost).toString());
    m_mqtt.setPort(unsigned(m_config.get(manager::keys::MqttPort).toInt()));
    m_mqtt.setUsername(m_config.get(manager::keys::MqttUsername).toString());
    m_mqtt.setPassword(m_config.get(manager::keys::MqttPassword).toString());
}

void GuiService::subscribeToTopics()
{
    const QString b = baseTopic();
    for (const char* suffix : { "/info/get", "/status/get", "/config/get", "/config/set" })
        subscribe(b + QLatin1String(suffix));
}

void GuiService::publishInfo()
{
    const QJsonObject info { { QStringLiteral("version"), QCoreApplication::applicationVersion() } };
    publishJson(baseTopic() + QStringLiteral("/info"), info);
}

void GuiService::publishStatus()
{
    const QJsonObject status { { QStringLiteral("technician"), m_session.sessionActive() },
        { QStringLiteral("service"), true } };
    // Retained like the will, so a subscriber that comes later reads what is true now.
    m_mqtt.publish(toIndentedJson(status), baseTopic() + QStringLiteral("/status"), 0, true);
}

void GuiService::publishConfig()
{
    // Every client of the broker reads this: secrets go out masked, and the mask
    // coming back through config/set changes nothing.
    publishJson(baseTopic() + QStringLiteral("/config"), manager::maskSecrets(m_config.toJson()).toObject());
}

bool GuiService::acceptsTopic(const QString& topic) const { return topic.contains(baseTopic()); }

void GuiService::onMqttReceived(const QByteArray& payload, const QByteArray& topic)
{
    const QString text = QString::fromUtf8(topic);
    if (acceptsTopic(text))
        processMqttMessage(payload, text);
}

void GuiService::processMqttMessage(const QByteArray& data, const QString& topic)
{
    GUI_LOG(qInfo) << "Message received : " << topic;
    GUI_LOG(qDebug) << "Data : " << manager::maskSecrets(QString::fromUtf8(data));
    // A payload that does not parse is read as an empty object and not reported: a
    // question is answered whatever came with it, and an empty change changes nothing.
    QJsonObject object;
    parseObject(data, object);
    dispatch(topic, object);
}

void GuiService::dispatch(const QString& topic, const QJsonObject& object)
{
    if (topic.contains(QLatin1String("/info/get")))
        publishInfo();
    else if (topic.contains(QLatin1String("/status/get")))
        publishStatus();
    else if (topic.contains(QLatin1String("/config/get")))
        publishConfig();
    else if (topic.contains(QLatin1String("/config/set")))
        m_config.fromJson(object);
}
