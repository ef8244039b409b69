#include "SimInspector.h"

#include "MqttClient.h"

#include <QJsonArray>
#include <QRandomGenerator>

using namespace sim;

SimInspector::SimInspector(manager::MqttClient& mqtt, const QString& base, QObject* parent)
    : SimService(mqtt, base, parent)
{
}

QStringList SimInspector::requestTopics() const
{
    const QString& i = m_base;
    return { i + "/info/get", i + "/status/get", i + "/audio/get", i + "/audio/set", i + "/audio/play",
        i + "/stats/+/get", i + "/power/reboot/request/+", i + "/power/shutdown/request/+" };
}

QStringList SimInspector::stateLines() const
{
    return { QStringLiteral("[Sim] Inspector: service %1, volume %2%").arg(onOff(m_service)).arg(m_volume) };
}

void SimInspector::setServiceUp(bool up)
{
    m_service = up;
    publishJson(m_base + "/status", QJsonObject { { "service", up } });
}

QJsonObject SimInspector::stats(const QString& which) const
{
    auto* rnd = QRandomGenerator::global();
    if (which == QLatin1String("cpu"))
        return QJsonObject { { "cores", 4 }, { "usage", 8 + rnd->bounded(20) },
            { "load", QJsonArray { 0.42, 0.37, 0.31 } }, { "temperature", 47 + rnd->bounded(4) } };
    if (which == QLatin1String("memory"))
        return QJsonObject { { "total", 2048 * 1024 }, { "used", 612 * 1024 + rnd->bounded(20000) },
            { "free", 1200 * 1024 } };
    return QJsonObject { { "/", QJsonObject { { "total", 7634944 }, { "used", 2318336 }, { "free", 5316608 } } },
        { "/data", QJsonObject { { "total", 14680064 }, { "used", 913408 }, { "free", 13766656 } } } };
}

void SimInspector::publishAll()
{
    const QString B = m_base;
    publishJson(B + "/info", QJsonObject { { "service", QJsonObject { { "version", "1.6.1" } } } });
    publishJson(B + "/status", QJsonObject { { "service", m_service } });
    publishJson(B + "/audio", QJsonObject { { "internal", QJsonObject { { "volume", m_volume } } } });
}

bool SimInspector::handleRequest(const QString& topic, const QJsonObject& o, bool)
{
    const QString B = m_base;
    if (!topic.startsWith(B + "/"))
        return false;
    const QString t = topic.mid(B.size());
    if (t == "/info/get") {
        say(QStringLiteral("[Inspector] Info requested"));
        publishJson(B + "/info", QJsonObject { { "service", QJsonObject { { "version", "1.6.1" } } } });
    } else if (t == "/status/get") {
        say(QStringLiteral("[Inspector] Status requested"));
        publishJson(B + "/status", QJsonObject { { "service", m_service } });
    } else if (t == "/audio/get") {
        say(QStringLiteral("[Inspector] Volume requested"));
        publishJson(B + "/audio", QJsonObject { { "internal", QJsonObject { { "volume", m_volume } } } });
    } else if (t == "/audio/set") {
        int n = 0;
        if (readInt(o.value("internal").toObject().value("volume"), n)) {
            m_volume = qBound(0, n, 100);
            say(QStringLiteral("[Inspector] Volume set to %1%").arg(m_volume));
        } else {
            say(QStringLiteral("[Inspector] WARN: Volume request without internal.volume ignored"));
        }
        publishJson(B + "/audio", QJsonObject { { "internal", QJsonObject { { "volume", m_volume } } } });
    } else if (t == "/audio/play") {
        const QString file = o.value("filepath").toString();
        say(QStringLiteral("[Inspector] Sound played: ") + (file.isEmpty() ? QStringLiteral("(no file)") : file)
            + QStringLiteral(" (device ") + o.value("device").toString() + QStringLiteral(", volume ")
            + QString::number(m_volume) + QStringLiteral("%)"));
    } else if (t.startsWith("/stats/") && t.endsWith("/get")) {
        const QString which = t.mid(7, t.size() - 11);
        say(QStringLiteral("[Inspector] Statistics requested: ") + which);
        publishJson(B + "/stats/" + which, stats(which));
    } else if (t.startsWith("/power/reboot/request/")) {
        say(QStringLiteral("[Inspector] Reboot requested (simulated; nothing restarts)"));
    } else if (t.startsWith("/power/shutdown/request/")) {
        say(QStringLiteral("[Inspector] Shutdown requested (simulated; nothing stops)"));
    } else {
        return false;
    }
    return true;
}
