#include "FleetWeb.h"

#include "FleetMetrics.h"
#include "MqttClient.h"
#include "Secrets.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

using Response = HttpServer::Response;

QByteArray json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n'; }

Response jsonResponse(int status, const QJsonObject& object)
{
    return { status, QByteArrayLiteral("application/json"), json(object),
        { { QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store") } } };
}

Response error(int status, const QString& reason)
{
    return jsonResponse(status, { { QStringLiteral("error"), reason } });
}

Response methodNotAllowed(const char* allowed)
{
    Response r = error(405, QStringLiteral("method not allowed"));
    r.headers.append({ QByteArrayLiteral("Allow"), QByteArray(allowed) });
    return r;
}

// Compares in time that does not depend on where the texts differ.
bool sameSecret(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

QByteArray sseEvent(const char* name, const QJsonObject& data)
{
    return QByteArrayLiteral("event: ") + name + QByteArrayLiteral("\ndata: ")
        + QJsonDocument(data).toJson(QJsonDocument::Compact) + QByteArrayLiteral("\n\n");
}

} // namespace

FleetWeb::FleetWeb(FleetView& view, manager::MqttClient& mqtt, const QByteArray& token, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_mqtt(mqtt)
    , m_token(token)
    , m_server([this](const HttpServer::Request& r, HttpServer::Exchange& e) { return handle(r, e); })
{
    QObject::connect(&m_mqtt, &manager::MqttClient::connected, this, [this] {
        m_brokerConnected = true;
        m_flush.start();
    });
    QObject::connect(&m_mqtt, &manager::MqttClient::disconnected, this, [this] {
        m_brokerConnected = false;
        m_flush.start();
    });
    m_flush.setSingleShot(true);
    m_flush.setInterval(kStreamIntervalMs);
    QObject::connect(&m_flush, &QTimer::timeout, this, &FleetWeb::flushChanges);
    QObject::connect(&m_view, &FleetView::unitChanged, this, [this](const QString& serial) {
        m_dirty.insert(serial);
        if (!m_flush.isActive())
            m_flush.start();
    });
    // A comment line now and then keeps proxies from closing a quiet stream and lets the
    // server notice readers that are gone.
    m_keepAlive.setInterval(kKeepAliveMs);
    QObject::connect(&m_keepAlive, &QTimer::timeout, this, [this] { m_server.broadcast(": keep-alive\n\n"); });
    m_keepAlive.start();

    QObject::connect(
        &m_view, &FleetView::screenshotReceived, this, [this](const QString& serial, const QByteArray& png) {
            qInfo("Fleet web: screenshot of %s (%d bytes)", qPrintable(serial), int(png.size()));
            answerAll(m_waitingScreens, serial,
                { 200, QByteArrayLiteral("image/png"), png,
                    { { QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store") } } });
        });
    QObject::connect(&m_view, &FleetView::screenshotRefused, this,
        [this](const QString& serial, const QString& why) { answerAll(m_waitingScreens, serial, error(409, why)); });
    QObject::connect(
        &m_view, &FleetView::eventsReceived, this, [this](const QString& serial, const QJsonArray& events) {
            answerAll(m_waitingEvents, serial, jsonResponse(200, { { QStringLiteral("events"), events } }));
        });
}

bool FleetWeb::listen(const QHostAddress& address, quint16 port) { return m_server.listen(address, port); }

QJsonObject FleetWeb::unitJson(const QString& serial, const FleetView::Unit& unit, bool details)
{
    const QDate today = QDate::currentDate();
    QJsonArray hourly;
    for (int n : unit.hourly)
        hourly.append(unit.day == today ? n : 0);
    QJsonObject o { { QStringLiteral("serial"), serial }, { QStringLiteral("state"), unit.status },
        { QStringLiteral("screen"), unit.health.value(QStringLiteral("screen")).toString() },
        { QStringLiteral("version"), unit.version },
        { QStringLiteral("lastSeen"),
            unit.lastSeen.isValid() ? unit.lastSeen.toOffsetFromUtc(unit.lastSeen.offsetFromUtc()).toString(Qt::ISODate)
                                    : QString() },
        { QStringLiteral("lastValidation"), unit.health.value(QStringLiteral("lastValidation")).toString() },
        { QStringLiteral("validationsToday"), FleetView::validationsToday(unit, today) },
        { QStringLiteral("hourly"), hourly } };
    if (details) {
        o.insert(QStringLiteral("health"), unit.health);
        // Units mask their secrets themselves; this keeps one from an older unit off the page too.
        o.insert(QStringLiteral("config"), manager::maskSecrets(unit.config));
    }
    return o;
}

QJsonObject FleetWeb::summary() const
{
    QJsonObject states;
    for (const QString& state : FleetMetrics::states())
        states.insert(state, 0);
    for (const FleetView::Unit& u : m_view.units())
        states.insert(u.status, states.value(u.status).toInt() + 1);
    return { { QStringLiteral("units"), m_view.units().size() }, { QStringLiteral("states"), states },
        { QStringLiteral("broker"), m_brokerConnected }, { QStringLiteral("writable"), !m_token.isEmpty() } };
}

Response FleetWeb::unitsResponse() const
{
    QJsonArray units;
    for (auto it = m_view.units().cbegin(); it != m_view.units().cend(); ++it)
        units.append(unitJson(it.key(), it.value(), false));
    return jsonResponse(200, { { QStringLiteral("units"), units }, { QStringLiteral("summary"), summary() } });
}

void FleetWeb::flushChanges()
{
    QJsonArray units;
    for (const QString& serial : qAsConst(m_dirty)) {
        const auto it = m_view.units().constFind(serial);
        if (it != m_view.units().cend())
            units.append(unitJson(serial, it.value(), false));
    }
    m_dirty.clear();
    if (m_server.streamCount() > 0)
        m_server.broadcast(
            sseEvent("units", { { QStringLiteral("units"), units }, { QStringLiteral("summary"), summary() } }));
}

Response FleetWeb::resource(const QString& name) const
{
    QFile f(QStringLiteral(":/web/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return error(404, QStringLiteral("no such page"));
    QByteArray type = QByteArrayLiteral("text/html; charset=utf-8");
    if (name.endsWith(QLatin1String(".js")))
        type = QByteArrayLiteral("text/javascript; charset=utf-8");
    else if (name.endsWith(QLatin1String(".css")))
        type = QByteArrayLiteral("text/css; charset=utf-8");
    return { 200, type, f.readAll(),
        { { QByteArrayLiteral("Content-Security-Policy"),
              QByteArrayLiteral("default-src 'self'; img-src 'self' blob:; style-src 'self'; script-src 'self'") },
            { QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff") } } };
}

void FleetWeb::awaitAnswer(
    QMultiHash<QString, HttpServer::Ticket>& waiting, const QString& serial, HttpServer::Ticket ticket)
{
    waiting.insert(serial, ticket);
    QTimer::singleShot(kAnswerTimeoutMs, this, [this, &waiting, serial, ticket] {
        if (waiting.remove(serial, ticket) > 0)
            m_server.answer(ticket, error(504, QStringLiteral("%1 did not answer").arg(serial)));
    });
}

void FleetWeb::answerAll(
    QMultiHash<QString, HttpServer::Ticket>& waiting, const QString& serial, const HttpServer::Response& response)
{
    const QList<HttpServer::Ticket> tickets = waiting.values(serial);
    waiting.remove(serial);
    for (HttpServer::Ticket ticket : tickets)
        m_server.answer(ticket, response);
}

QStringList FleetWeb::checkConfigChange(const QJsonObject& change, QString* why)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z][A-Za-z0-9_]{0,63}$"));
    QStringList keys;
    if (change.isEmpty()) {
        *why = QStringLiteral("no setting to change");
        return {};
    }
    for (auto group = change.begin(); group != change.end(); ++group) {
        if (!plain.match(group.key()).hasMatch() || !group.value().isObject() || group.value().toObject().isEmpty()) {
            *why = QStringLiteral("expected {\"group\": {\"name\": value}}");
            return {};
        }
        const QJsonObject members = group.value().toObject();
        for (auto member = members.begin(); member != members.end(); ++member) {
            const QJsonValue v = member.value();
            if (!plain.match(member.key()).hasMatch() || !(v.isString() || v.isDouble() || v.isBool())) {
                *why = QStringLiteral("a setting is a plain name with a text, number or true/false value");
                return {};
            }
            keys << group.key() + QLatin1Char('/') + member.key();
        }
    }
    if (keys.size() > 64) {
        *why = QStringLiteral("too many settings in one change");
        return {};
    }
    return keys;
}

Response FleetWeb::configChange(const QString& serial, const HttpServer::Request& request)
{
    if (m_token.isEmpty())
        return error(403, QStringLiteral("read-only: ticora-fleet runs without a token file"));
    const QByteArray auth = request.header("authorization");
    if (!auth.startsWith("Bearer ") || !sameSecret(auth.mid(7).trimmed(), m_token)) {
        qWarning("Fleet web: configuration change for %s from %s refused: %s", qPrintable(serial),
            qPrintable(request.peer), auth.isEmpty() ? "no token" : "wrong token");
        return error(401, QStringLiteral("a valid token is needed"));
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return error(400, QStringLiteral("bad JSON: %1").arg(parseError.errorString()));
    QString why;
    const QStringList keys = checkConfigChange(doc.object(), &why);
    if (keys.isEmpty())
        return error(400, why);
    if (!m_view.units().contains(serial))
        return error(404, QStringLiteral("no unit %1").arg(serial));
    if (!m_view.sendConfigChange(serial, doc.object()))
        return error(503, QStringLiteral("the depot broker is not connected"));
    // The keys only: a value may be a PIN or a password.
    qInfo("Fleet web: configuration change for %s from %s: %s", qPrintable(serial), qPrintable(request.peer),
        qPrintable(keys.join(QStringLiteral(", "))));
    return jsonResponse(
        202, { { QStringLiteral("sent"), true }, { QStringLiteral("keys"), QJsonArray::fromStringList(keys) } });
}

Response FleetWeb::handle(const HttpServer::Request& request, HttpServer::Exchange& exchange)
{
    const QString path = QString::fromUtf8(request.path);
    const bool get = request.method == "GET" || request.method == "HEAD";

    if (path == QLatin1String("/") || path == QLatin1String("/index.html") || path == QLatin1String("/app.js")
        || path == QLatin1String("/style.css")) {
        if (!get)
            return methodNotAllowed("GET, HEAD");
        return resource(path == QLatin1String("/") ? QStringLiteral("index.html") : path.mid(1));
    }
    if (path == QLatin1String("/metrics")) {
        if (!get)
            return methodNotAllowed("GET, HEAD");
        return { 200, QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"),
            FleetMetrics::text(m_view, m_brokerConnected), {} };
    }
    if (path == QLatin1String("/api/units")) {
        if (!get)
            return methodNotAllowed("GET, HEAD");
        return unitsResponse();
    }
    if (path == QLatin1String("/api/events")) {
        if (request.method != "GET")
            return methodNotAllowed("GET");
        exchange.stream();
        // The page loads /api/units when the stream opens; a lost stream is retried in 2 s.
        return { 200, {}, QByteArrayLiteral("retry: 2000\n\n"), {} };
    }

    static const QRegularExpression unitPath(QStringLiteral("^/api/units/([^/]+)(?:/(screenshot|events|config))?$"));
    const QRegularExpressionMatch match = unitPath.match(path);
    if (!match.hasMatch())
        return error(404, QStringLiteral("no such page"));
    const QString serial = match.captured(1);
    const QString what = match.captured(2);
    if (!FleetView::isValidSerial(serial))
        return error(400, QStringLiteral("not a serial number"));
    if (what == QLatin1String("config")) {
        if (request.method != "POST")
            return methodNotAllowed("POST");
        return configChange(serial, request);
    }
    if (!get)
        return methodNotAllowed("GET, HEAD");
    const auto it = m_view.units().constFind(serial);
    if (it == m_view.units().cend())
        return error(404, QStringLiteral("no unit %1").arg(serial));
    if (what.isEmpty())
        return jsonResponse(200, unitJson(serial, it.value(), true));
    if (what == QLatin1String("screenshot")) {
        if (!m_view.requestScreenshot(serial))
            return error(503, QStringLiteral("the depot broker is not connected"));
        awaitAnswer(m_waitingScreens, serial, exchange.defer());
        return {};
    }
    bool maxOk = true;
    const QByteArray maxText = request.args.value(QByteArrayLiteral("max"));
    const int max = maxText.isEmpty() ? FleetView::kMaxEvents : maxText.toInt(&maxOk);
    const QString since = QString::fromUtf8(request.args.value(QByteArrayLiteral("since")));
    if (!maxOk || (!since.isEmpty() && !QDateTime::fromString(since, Qt::ISODate).isValid()))
        return error(400, QStringLiteral("since is an ISO 8601 time, max a number"));
    if (!m_view.requestEvents(serial, since, max))
        return error(503, QStringLiteral("the depot broker is not connected"));
    awaitAnswer(m_waitingEvents, serial, exchange.defer());
    return {};
}
