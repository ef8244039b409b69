#include "SimService.h"

#include "MqttClient.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonValue>

namespace sim {

QByteArray compact(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

QString onOff(bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); }

QString trueFalse(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

QString utcStamp(const QDateTime& t) { return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")); }

bool readInt(const QJsonValue& value, int& out)
{
    if (value.isDouble()) {
        out = value.toInt();
        return true;
    }
    if (value.isString()) {
        bool ok = false;
        const int n = value.toString().trimmed().toInt(&ok);
        if (ok)
            out = n;
        return ok;
    }
    return false;
}

} // namespace sim

SimService::SimService(manager::MqttClient& mqtt, const QString& base, QObject* parent)
    : QObject(parent)
    , m_mqtt(mqtt)
    , m_base(base)
{
}

bool SimService::publishRaw(const QString& topic, const QByteArray& payload)
{
    const bool ok = m_mqtt.publish(payload, topic);
    if (!ok)
        say(QStringLiteral("[Sim] WARN: Not connected, dropped publication on ") + topic);
    else if (m_echoPublished)
        say(QStringLiteral("PUB ") + topic
            + (payload.isEmpty() ? QString() : QStringLiteral(" ") + QString::fromUtf8(payload)));
    return ok;
}

bool SimService::publishJson(const QString& topic, const QJsonObject& object)
{
    return publishRaw(topic, sim::compact(object));
}
