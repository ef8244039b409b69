#include "FleetView.h"

#include "MqttClient.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>

namespace {
// Far more than a 480 x 800 PNG; a bigger payload on the topic is not a picture of ours.
const int kMaxScreenshotBytes = 8 * 1024 * 1024;
} // namespace

const QStringList& FleetView::results()
{
    static const QStringList names { QStringLiteral("valid"), QStringLiteral("alreadyValid"), QStringLiteral("refused"),
        QStringLiteral("retry") };
    return names;
}

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
    for (const char* suffix :
        { "info", "status", "config", "bridge", "health", "screenshot", "screenshot/error", "events" })
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
    m_mqtt.publish(QByteArrayLiteral("{}"), topic(serial, "health/get"), 1);
}

bool FleetView::isValidSerial(const QString& serial)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    return serial != QLatin1String("-") && plain.match(serial).hasMatch();
}

bool FleetView::requestScreenshot(const QString& serial)
{
    return isValidSerial(serial) && m_mqtt.publish(QByteArrayLiteral("{}"), topic(serial, "screenshot/get"), 1);
}

bool FleetView::requestEvents(const QString& serial, const QString& since, int max)
{
    if (!isValidSerial(serial))
        return false;
    QJsonObject request { { QStringLiteral("max"), qBound(1, max, kMaxEvents) } };
    if (!since.isEmpty())
        request.insert(QStringLiteral("since"), since);
    return m_mqtt.publish(QJsonDocument(request).toJson(QJsonDocument::Indented), topic(serial, "events/get"), 1);
}

int FleetView::validationsToday(const Unit& unit, const QDate& today)
{
    if (unit.day != today)
        return 0;
    int sum = 0;
    for (int n : unit.hourly)
        sum += n;
    return sum;
}

void FleetView::takeHealth(Unit& u, const QJsonObject& health)
{
    u.health = health;
    const QJsonObject counts = health.value(QStringLiteral("counts")).toObject();
    qint64 total = 0;
    for (const QString& result : results())
        total += qMax<qint64>(0, counts.value(result).toVariant().toLongLong());
    const QDateTime now = QDateTime::currentDateTime();
    if (u.day != now.date()) {
        u.day = now.date();
        u.hourly.fill(0);
    }
    // The counts start again at zero when the panel restarts: then all of them are new.
    if (u.countedTotal >= 0)
        u.hourly[now.time().hour()] += int(total >= u.countedTotal ? total - u.countedTotal : total);
    u.countedTotal = total;
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
    const QString rest = name.mid(m_prefix.size() + 1);
    const int slash = rest.indexOf(QLatin1Char('/'));
    const QString serial = rest.left(slash);
    const QString what = slash < 0 ? QString() : rest.mid(slash + 1);
    if (!isValidSerial(serial) || what.isEmpty())
        return;
    // Answers on request are not the unit's state: they go to whoever asked.
    if (what == QLatin1String("screenshot")) {
        if (!m_units.contains(serial))
            return;
        if (data.size() > kMaxScreenshotBytes || !data.startsWith("\x89PNG\r\n\x1a\n")) {
            qWarning("Fleet: %s sent a screenshot that is not a PNG picture (%d bytes); ignored", qPrintable(serial),
                int(data.size()));
            emit screenshotRefused(serial, QStringLiteral("the unit sent no PNG picture"));
            return;
        }
        emit screenshotReceived(serial, data);
        return;
    }
    if (what == QLatin1String("screenshot/error") || what == QLatin1String("events")) {
        if (!m_units.contains(serial))
            return;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
        if (!doc.isObject()) {
            qWarning("Fleet: %s sent bad JSON on %s: %s", qPrintable(serial), qPrintable(what),
                qPrintable(error.errorString()));
            return;
        }
        if (what == QLatin1String("events")) {
            QJsonArray events = doc.object().value(QStringLiteral("events")).toArray();
            while (events.size() > kMaxEvents)
                events.removeLast();
            emit eventsReceived(serial, events);
        } else {
            QString reason = doc.object().value(QStringLiteral("error")).toString();
            emit screenshotRefused(serial, reason.isEmpty() ? QStringLiteral("refused") : reason);
        }
        return;
    }
    if (what.contains(QLatin1Char('/')))
        return;
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
        emit unitChanged(serial);
        emit changed();
        return;
    }

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    // A garbled message says nothing about the unit: what we knew of it stays. An empty
    // one (a retained message cleared) does count.
    if (!doc.isObject() && !data.trimmed().isEmpty()) {
        qWarning(
            "Fleet: %s sent bad JSON on %s: %s", qPrintable(serial), qPrintable(what), qPrintable(error.errorString()));
        return;
    }
    const QJsonObject object = doc.object();
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
    } else if (what == QLatin1String("health")) {
        takeHealth(u, object);
    }
    emit unitChanged(serial);
    emit changed();
}

QString FleetView::header()
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(QStringLiteral("SERIAL"), -16)
        .arg(QStringLiteral("STATUS"), -12)
        .arg(QStringLiteral("VERSION"), -10)
        .arg(QStringLiteral("LAST SEEN"), -19)
        .arg(QStringLiteral("SCREEN"), -16)
        .arg(QStringLiteral("V/A/R/T"), -15)
        .arg(QStringLiteral("LAST VALIDATION"));
}

QStringList FleetView::lines() const
{
    QStringList out;
    for (auto it = m_units.cbegin(); it != m_units.cend(); ++it) {
        const Unit& u = it.value();
        const QString seen
            = u.lastSeen.isValid() ? u.lastSeen.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("-");
        QString screen = u.health.value(QStringLiteral("screen")).toString();
        QString counts = QStringLiteral("-");
        QString lastValidation = u.health.value(QStringLiteral("lastValidation")).toString();
        if (!u.health.isEmpty()) {
            const QJsonObject c = u.health.value(QStringLiteral("counts")).toObject();
            QStringList n;
            for (const QString& result : results())
                n << QString::number(c.value(result).toVariant().toLongLong());
            counts = n.join(QLatin1Char('/'));
        }
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                   .arg(it.key(), -16)
                   .arg(u.status, -12)
                   .arg(u.version.isEmpty() ? QStringLiteral("-") : u.version, -10)
                   .arg(seen, -19)
                   .arg(screen.isEmpty() ? QStringLiteral("-") : screen, -16)
                   .arg(counts, -15)
                   .arg(lastValidation.isEmpty() ? QStringLiteral("-") : lastValidation);
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
