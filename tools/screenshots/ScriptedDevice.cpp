#include "ScriptedDevice.h"

#include "ScreenRecorder.h"

#include "Config.h"
#include "DeviceSimulator.h"
#include "GUIManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

bool ScriptedTransport::subscribe(const QString& filter, quint8)
{
    if (state() != Connected)
        return false;
    if (!m_filters.contains(filter))
        m_filters << filter;
    return true;
}

int ScriptedTransport::publish(const QString& topic, const QByteArray& payload, quint8, bool)
{
    if (state() != Connected)
        return -1;
    m_published << topic;
    if (m_peer) {
        for (const QString& filter : qAsConst(m_peer->m_filters)) {
            if (matches(filter, topic)) {
                // Delivered from the event loop, as a broker would, never inside the
                // publisher's own call.
                QPointer<ScriptedTransport> peer = m_peer;
                QMetaObject::invokeMethod(
                    peer,
                    [peer, topic, payload] {
                        if (peer)
                            peer->inject(topic, payload);
                    },
                    Qt::QueuedConnection);
                break;
            }
        }
    }
    return 0;
}

void ScriptedTransport::wire(ScriptedTransport* a, ScriptedTransport* b)
{
    a->m_peer = b;
    b->m_peer = a;
}

bool ScriptedTransport::matches(const QString& filter, const QString& topic)
{
    const QStringList f = filter.split(QLatin1Char('/'));
    const QStringList t = topic.split(QLatin1Char('/'));
    for (int i = 0; i < f.size(); ++i) {
        if (f.at(i) == QLatin1String("#"))
            return true;
        if (i >= t.size() || (f.at(i) != QLatin1String("+") && f.at(i) != t.at(i)))
            return false;
    }
    return f.size() == t.size();
}

ScriptedDevice::ScriptedDevice(const QString& locale, const QString& deviceId, const QVariantMap& settings)
{
    // The clock client asks timedatectl for the zones as it is built: the simulated
    // one answers, with its zone kept beside the other files of this device.
    const QByteArray path = qgetenv("PATH");
    if (!path.startsWith(TICORA_SIM_BIN))
        qputenv("PATH", QByteArray(TICORA_SIM_BIN ":") + path);
    qputenv("TICORA_SIM_TIMEZONE_FILE", QFile::encodeName(m_dir.filePath(QStringLiteral("timezone"))));

    const QString idFile = m_dir.filePath(QStringLiteral("serialnumber"));
    if (!deviceId.isEmpty()) {
        QFile file(idFile);
        if (file.open(QIODevice::WriteOnly))
            file.write(deviceId.toUtf8());
    }
    QVariantMap defaults = GUIManager::Defaults;
    defaults.insert(QStringLiteral("gui/deviceId"), idFile);
    defaults.insert(QStringLiteral("gui/locale"), locale);
    defaults.insert(QStringLiteral("log/syslog"), false);
    defaults.insert(QStringLiteral("log/stderr"), false);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        defaults.insert(it.key(), it.value());
    m_config = std::make_unique<Config>(m_dir.filePath(QStringLiteral("gui.conf")), defaults);

    GUIManager::Options options;
    options.transport = [this] {
        m_transport = new ScriptedTransport();
        return m_transport.data();
    };
    options.eventLogPath = m_dir.filePath(QStringLiteral("events.ini"));
    options.mqttRetryMillis = 100;
    m_gui = std::make_unique<GUIManager>(*m_config, options);
}

ScriptedDevice::~ScriptedDevice()
{
    // The services go before the panel they talk to.
    m_sim.reset();
    m_simMqtt.reset();
}

DeviceSimulator& ScriptedDevice::attachSimulator()
{
    if (m_sim)
        return *m_sim;
    m_simMqtt = std::make_unique<manager::MqttClient>();
    m_simMqtt->setTransportFactory([this] {
        auto* transport = new ScriptedTransport();
        if (m_transport)
            ScriptedTransport::wire(transport, m_transport);
        return transport;
    });
    m_sim = std::make_unique<DeviceSimulator>(*m_simMqtt);
    m_sim->setStepMillis(50);
    m_simMqtt->connect();
    return *m_sim;
}

bool ScriptedDevice::load()
{
    m_gui->load();
    m_window = ScreenRecorder::mainWindow(*m_gui);
    return m_window != nullptr;
}

namespace {

// Repeater delegates hang in the item tree, not always in the object tree.
QQuickItem* findItem(QQuickItem* root, const QString& objectName)
{
    if (!root)
        return nullptr;
    if (root->objectName() == objectName)
        return root;
    const auto children = root->childItems();
    for (QQuickItem* child : children) {
        if (QQuickItem* found = findItem(child, objectName))
            return found;
    }
    return nullptr;
}

} // namespace

QQuickItem* ScriptedDevice::findItem(const QString& objectName) const
{
    return m_window ? ::findItem(m_window->contentItem(), objectName) : nullptr;
}

QQuickItem* ScriptedDevice::screenItem(const QString& name) const
{
    QQuickItem* loader = findItem(QStringLiteral("screen_") + name);
    return loader ? loader->property("item").value<QQuickItem*>() : nullptr;
}

QString ScriptedDevice::shownScreen() const
{
    return m_window ? m_window->property("currentScreen").toString() : QString();
}

void ScriptedDevice::inject(const QString& topic, const QJsonObject& object)
{
    if (m_transport)
        m_transport->inject(topic, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

namespace {

QJsonObject validatorStatus(bool init, bool rfid, bool route, bool qr, bool obu)
{
    return QJsonObject { { QStringLiteral("service"), true },
        { QStringLiteral("obu"), QJsonObject { { QStringLiteral("vehicleUuid"), QStringLiteral("bus-0412") } } },
        { QStringLiteral("route"), QJsonObject { { QStringLiteral("axisName"), QStringLiteral("Line 31") } } },
        { QStringLiteral("state"),
            QJsonObject { { QStringLiteral("init"), init }, { QStringLiteral("hasRfid"), rfid },
                { QStringLiteral("hasRoute"), route }, { QStringLiteral("hasQr"), qr },
                { QStringLiteral("hasObu"), obu } } } };
}

} // namespace

void ScriptedDevice::setValidator(const QString& state)
{
    const QString topic = QStringLiteral("vexa/blm/status");
    if (state == QLatin1String("online"))
        inject(topic, validatorStatus(false, true, true, true, true));
    else if (state == QLatin1String("degraded"))
        inject(topic, validatorStatus(false, true, true, false, true));
    else if (state == QLatin1String("init"))
        inject(topic, validatorStatus(true, true, true, true, true));
    else if (state == QLatin1String("out-of-service"))
        inject(topic, validatorStatus(false, true, false, true, true));
    else if (state == QLatin1String("no-rfid"))
        inject(topic, validatorStatus(false, false, true, true, true));
    else
        inject(topic, QJsonObject { { QStringLiteral("service"), false } });
}

void ScriptedDevice::setIgnition(bool on)
{
    inject(QStringLiteral("vexa/board/status"),
        QJsonObject { { QStringLiteral("service"), true },
            { QStringLiteral("device"),
                QJsonObject { { QStringLiteral("active"), true }, { QStringLiteral("ignition"), on } } } });
}

void ScriptedDevice::scan(const SampleTicket& ticket)
{
    inject(ticket.barcode ? QStringLiteral("vexa/blm/barcode/scanned") : QStringLiteral("vexa/blm/rfid/scanned"),
        QJsonObject { { QStringLiteral("transaction"), ticket.transaction } });
}

void ScriptedDevice::cardRetry() { inject(QStringLiteral("vexa/blm/rfid/retry"), QJsonObject()); }

bool ScriptedDevice::waitForScreen(const QString& name, int timeoutMsec)
{
    QDeadlineTimer deadline(timeoutMsec);
    while (shownScreen() != name || m_gui->screen() != name) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void ScriptedDevice::settle(int msec)
{
    QEventLoop loop;
    QTimer::singleShot(msec, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---------------------------------------------------------------- sample tickets

namespace {

bool greek(const QString& locale) { return locale.startsWith(QLatin1String("el")); }

QString utcStamp(qint64 secondsFromNow)
{
    return QDateTime::currentDateTimeUtc().addSecs(secondsFromNow).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

struct Product
{
    int type;
    const char* name;
    const char* english;
    const char* greek;
};

// The fare products a city operator sells, one per ticket type.
const Product kProducts[] = {
    { 0, "barcode", "Single ticket 90 min", "Απλό εισιτήριο 90 λεπτών" },
    { 2, "epurse", "Electronic purse", "Ηλεκτρονικό πορτοφόλι" },
    { 5, "journeys", "10 journeys", "10 διαδρομές" },
    { 8, "period", "Monthly pass, adult", "Μηνιαία κάρτα, ενήλικες" },
    { 10, "emv", "Contactless bank card", "Ανέπαφη τραπεζική κάρτα" },
    { 12, "transfer", "Transfer, 10 journeys", "Μετεπιβίβαση, 10 διαδρομές" },
    { 13, "profile", "Student profile renewed", "Ανανέωση φοιτητικού προφίλ" },
    { 14, "transfer-epurse", "Transfer, electronic purse", "Μετεπιβίβαση, ηλεκτρονικό πορτοφόλι" },
    { 15, "capping-epurse", "Daily cap reached", "Ημερήσιο πλαφόν" },
    { 16, "capping-journeys", "Weekly cap reached", "Εβδομαδιαίο πλαφόν" },
};

QJsonObject ticketBody(const Product& product, bool accepted, const QString& locale)
{
    QJsonObject t { { QStringLiteral("result"), accepted }, { QStringLiteral("type"), product.type },
        { QStringLiteral("ticketId"), QStringLiteral("T-%1-0042").arg(product.type) },
        { QStringLiteral("fareProductName"),
            greek(locale) ? QString::fromUtf8(product.greek) : QString::fromUtf8(product.english) },
        { QStringLiteral("passengerTypeName"), greek(locale) ? QStringLiteral("Ενήλικας") : QStringLiteral("Adult") } };
    switch (product.type) {
    case 0:
        t.insert(QStringLiteral("barcode"),
            QJsonObject { { QStringLiteral("fromStopGroupName"),
                              greek(locale) ? QStringLiteral("Σύνταγμα") : QStringLiteral("Syntagma") },
                { QStringLiteral("toStopGroupName"),
                    greek(locale) ? QStringLiteral("Πανεπιστήμιο") : QStringLiteral("University") },
                { QStringLiteral("transferRemainingMin"), 87 } });
        break;
    case 2:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 1850 }, { QStringLiteral("balanceAfter"), 1730 } });
        break;
    case 15:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 1200 }, { QStringLiteral("balanceAfter"), 1200 } });
        break;
    case 5:
    case 12:
    case 16:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 0 }, { QStringLiteral("balanceAfter"), 0 },
                { QStringLiteral("storedJourneys"),
                    QJsonObject { { QStringLiteral("activationTimestamp"), utcStamp(-3 * 60) },
                        { QStringLiteral("after"), product.type == 16 ? 3 : 7 },
                        { QStringLiteral("transferRemainingMin"), product.type == 12 ? 45 : 90 } } } });
        break;
    case 8:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("periodPass"),
                QJsonObject { { QStringLiteral("remainingMinutes"), QJsonValue::Null },
                    { QStringLiteral("remainingDays"), 23 },
                    { QStringLiteral("activationTimestamp"), utcStamp(-7 * 86400) } } } });
        break;
    case 14:
        t.insert(QStringLiteral("card"),
            QJsonObject { { QStringLiteral("balanceBefore"), 940 }, { QStringLiteral("balanceAfter"), 940 },
                { QStringLiteral("ePurse"), QJsonObject { { QStringLiteral("transferRemainingMin"), 45 } } } });
        break;
    default:
        t.insert(QStringLiteral("card"), QJsonObject());
        break;
    }
    return t;
}

} // namespace

QList<SampleTicket> ScriptedDevice::validTickets(const QString& locale)
{
    QList<SampleTicket> list;
    for (const Product& p : kProducts)
        list << SampleTicket { QStringLiteral("valid-%1-%2").arg(p.type).arg(QLatin1String(p.name)),
            QStringLiteral("Valid"), p.type == 0, ticketBody(p, true, locale) };
    return list;
}

QList<SampleTicket> ScriptedDevice::alreadyValidTickets(const QString& locale)
{
    QList<SampleTicket> list;
    for (const Product& p : kProducts) {
        QJsonObject t = ticketBody(p, false, locale);
        t.insert(QStringLiteral("denyReason"), QJsonObject { { QStringLiteral("id"), p.type == 0 ? 103 : 207 } });
        list << SampleTicket { QStringLiteral("alreadyvalid-%1-%2").arg(p.type).arg(QLatin1String(p.name)),
            QStringLiteral("AlreadyValid"), p.type == 0, t };
    }
    return list;
}

QList<SampleTicket> ScriptedDevice::invalidTickets(const QString& locale)
{
    struct Refusal
    {
        int product; // index into kProducts
        int reason;
        const char* name;
    };
    const Refusal refusals[] = {
        { 0, 101, "ticket-expired" },
        { 0, 102, "ticket-wrong-route" },
        { 1, 205, "no-balance" },
        { 2, 204, "no-trips" },
        { 3, 208, "card-not-active" },
        { 3, 250, "card-blocked" },
        { 2, 209, "other-operator" },
        { 1, 999, "unknown" },
    };
    QList<SampleTicket> list;
    for (const Refusal& r : refusals) {
        const Product& p = kProducts[r.product];
        QJsonObject t = ticketBody(p, false, locale);
        t.insert(QStringLiteral("denyReason"), QJsonObject { { QStringLiteral("id"), r.reason } });
        list << SampleTicket { QStringLiteral("invalid-%1-%2").arg(r.reason).arg(QLatin1String(r.name)),
            QStringLiteral("Invalid"), p.type == 0, t };
    }
    return list;
}
