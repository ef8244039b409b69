#include "FleetView.h"

#include "MqttClient.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTimer>

FleetView::FleetView(manager::MqttClient& mqtt, const QString& prefix, QObject* parent)
    : QObject(parent)
    , m_mqtt(mqtt)
    , m_prefix(prefix)
    , m_probeTopic(QStringLiteral("%1/-/probe/%2").arg(prefix).arg(QCoreApplication::applicationPid()))
{
    QObject::connect(&m_mqtt, &manager::MqttClient::received, this, &FleetView::onReceived);
}

void FleetView::start()
{
    for (const char* suffix : { "info", "status", "config", "bridge" })
        m_mqtt.subscribe(QStringLiteral("%1/+/%2").arg(m_prefix, QLatin1String(suffix)), 1);
    m_mqtt.subscribe(m_probeTopic, 0);
    // The client renews subscriptions after its own `connected` listeners have run, so
    // the probe goes out one turn of the event loop later, behind them.
    QObject::connect(&m_mqtt, &manager::MqttClient::connected, this,
        [this] { QTimer::singleShot(0, this, [this] { m_mqtt.publish(QByteArrayLiteral("{}"), m_probeTopic); }); });
}

QString FleetView::topic(const QString& serial, const char* suffix) const
{
    return QStringLiteral("%1/%2/%3").arg(m_prefix, serial, QLatin1String(suffix));
}

FleetView::Unit& FleetView::unit(const QString& serial)
{
    const bool known = m_units.contains(serial);
    Unit& u = m_units[serial];
    if (!known && m_ready)
        ask(serial);
    return u;
}

void FleetView::ask(const QString& serial)
{
    m_mqtt.publish(QByteArrayLiteral("{}"), topic(serial, "info/get"), 1);
    m_mqtt.publish(QByteArrayLiteral("{}"), topic(serial, "status/get"), 1);
}

void FleetView::askAll()
{
    for (auto it = m_units.cbegin(); it != m_units.cend(); ++it)
        ask(it.key());
}

bool FleetView::allAnswered() const
{
    for (const Unit& u : m_units)
        if (!u.answered && u.status != QLatin1String("unreachable"))
            return false;
    return true;
}

void FleetView::onReceived(const QByteArray& data, const QByteArray& from)
{
    const QString name = QString::fromUtf8(from);
    if (name == m_probeTopic) {
        if (!m_ready) {
            m_ready = true;
            askAll();
            emit ready();
        }
        return;
    }
    if (!name.startsWith(m_prefix + QLatin1Char('/')))
        return;
    const QStringList parts = name.mid(m_prefix.size() + 1).split(QLatin1Char('/'));
    if (parts.size() != 2 || parts.at(0).isEmpty() || parts.at(0) == QLatin1String("-"))
        return;
    const QString& serial = parts.at(0);
    const QString& what = parts.at(1);
    const bool known = m_units.contains(serial);
    Unit& u = unit(serial);

    if (what == QLatin1String("bridge")) {
        // The link's own state: "0" is also its will at the depot.
        if (data.trimmed() == "0")
            u.status = QStringLiteral("unreachable");
        else if (u.status == QLatin1String("unreachable") || u.status == QLatin1String("unknown"))
            u.status = QStringLiteral("linked");
        // A unit whose link is back may have changed meanwhile (a new unit is asked anyway).
        if (m_ready && known && data.trimmed() == "1")
            ask(serial);
        emit changed();
        return;
    }

    const QJsonObject object = QJsonDocument::fromJson(data).object();
    // Before the probe returns everything is retained (the panel's will): old news,
    // so it does not count as the unit being seen.
    if (m_ready)
        u.lastSeen = QDateTime::currentDateTime();
    if (what == QLatin1String("info")) {
        u.version = object.value(QStringLiteral("version")).toString();
    } else if (what == QLatin1String("status")) {
        const QJsonValue service = object.value(QStringLiteral("service"));
        if (!service.isBool())
            u.status = QStringLiteral("unknown");
        else if (!service.toBool())
            u.status = QStringLiteral("stopped");
        else if (object.value(QStringLiteral("technician")).toBool())
            u.status = QStringLiteral("technician");
        else
            u.status = QStringLiteral("running");
        if (m_ready)
            u.answered = true;
    } else if (what == QLatin1String("config")) {
        u.config = object;
        emit configReceived(serial, object);
    }
    emit changed();
}

QStringList FleetView::lines() const
{
    QStringList out;
    for (auto it = m_units.cbegin(); it != m_units.cend(); ++it) {
        const Unit& u = it.value();
        const QString seen
            = u.lastSeen.isValid() ? u.lastSeen.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("-");
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(it.key(), -16)
                   .arg(u.status, -12)
                   .arg(u.version.isEmpty() ? QStringLiteral("-") : u.version, -10)
                   .arg(seen);
    }
    return out;
}

bool FleetView::buildConfigChange(const QString& key, const QString& value, QJsonObject* change)
{
    const QStringList parts = key.split(QLatin1Char('/'));
    if (parts.size() != 2 || parts.at(0).isEmpty() || parts.at(1).isEmpty())
        return false;
    QJsonValue typed;
    bool isInt = false;
    const qlonglong number = value.toLongLong(&isInt);
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        typed = value.mid(1, value.size() - 2);
    else if (value == QLatin1String("true") || value == QLatin1String("false"))
        typed = value == QLatin1String("true");
    else if (isInt)
        typed = number;
    else
        typed = value;
    QJsonObject group;
    group.insert(parts.at(1), typed);
    *change = QJsonObject { { parts.at(0), group } };
    return true;
}

bool FleetView::sendConfigChange(const QString& serial, const QJsonObject& change)
{
    // The get behind the set makes the unit answer even when nothing changed.
    return m_mqtt.publish(QJsonDocument(change).toJson(QJsonDocument::Indented), topic(serial, "config/set"), 1)
        && m_mqtt.publish(QByteArrayLiteral("{}"), topic(serial, "config/get"), 1);
}
