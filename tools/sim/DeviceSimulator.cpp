#include "DeviceSimulator.h"

#include "Ethernet.h"
#include "MqttClient.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>

namespace {

const QString kRfidEnable = QStringLiteral("vexa/rfid/enable");
const QString kRfidDisable = QStringLiteral("vexa/rfid/disable");
const QString kBarcodeEnable = QStringLiteral("vexa/barcode/enable");
const QString kBarcodeDisable = QStringLiteral("vexa/barcode/disable");
const QString kCardFound = QStringLiteral("vexa/rfid/card/found");
const QString kCardRemoved = QStringLiteral("vexa/rfid/card/removed");

const int kDownloadChunks = 8;
const QStringList kInstallSteps = { QStringLiteral("Verifying package"), QStringLiteral("Installing files"),
                                    QStringLiteral("Updating boot partition"),
                                    QStringLiteral("Finalising installation") };

QString onOff(bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); }
QString trueFalse(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

QString utcStamp(const QDateTime& t) { return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")); }

// The panel's own address check; the service also refuses an empty address.
bool isIPv4(const QString& text) { return !text.isEmpty() && manager::Ethernet::isValidAddress(text); }

// Reads an integer that a peer may send as a number or as text; false when it is neither.
bool readInt(const QJsonValue& v, int& out)
{
    if (v.isDouble()) {
        out = v.toInt();
        return true;
    }
    if (v.isString()) {
        bool ok = false;
        const int n = v.toString().trimmed().toInt(&ok);
        if (ok)
            out = n;
        return ok;
    }
    return false;
}

QString money(int cents) { return QString::number(cents / 100.0, 'f', 2); }

struct TicketKind
{
    const char* word;
    int type;
};
const TicketKind kKinds[] = { { "epurse", 2 },          { "journeys", 5 },
                              { "period", 8 },          { "daypass", 8 },
                              { "emv", 10 },            { "transfer", 12 },
                              { "profile", 13 },        { "transfer-epurse", 14 },
                              { "capping-epurse", 15 }, { "capping-journeys", 16 } };

const char* const kStops[] = { "Central Station", "University", "Harbour", "Old Town", "General Hospital",
                               "Airport",         "Stadium",    "Market Square" };

} // namespace

DeviceSimulator::DeviceSimulator(manager::MqttClient& mqtt, const SimTopics& topics, QObject* parent)
    : QObject(parent), m_mqtt(mqtt), m_topics(topics)
{
    m_uptime.start();
    m_board.power = QJsonObject{ { "display", true },   { "ftdi", true },       { "mPCIe1", true },
                                 { "mPCIe2", false },   { "qrReader", true },   { "rfidReader", true },
                                 { "touch", true },     { "usbHost1", true },   { "usbHub", true } };
    m_eth.lease = QJsonObject{ { "address", "192.168.1.57" }, { "netmask", "255.255.255.0" },
                               { "gateway", "192.168.1.1" },  { "dns0", "192.168.1.1" },
                               { "dns1", "192.168.1.2" } };
    m_eth.manual = QJsonObject{ { "address", "" }, { "netmask", "" }, { "gateway", "" }, { "dns0", "" }, { "dns1", "" } };
    m_eth.inForce = m_eth.lease;

    m_updateTimer = new QTimer(this);
    connect(m_updateTimer, &QTimer::timeout, this, &DeviceSimulator::onUpdateStep);
    m_powerCutTimer = new QTimer(this);
    m_powerCutTimer->setSingleShot(true);
    connect(m_powerCutTimer, &QTimer::timeout, this, [this] {
        say(QStringLiteral("[Board] Ignition off for %1 s: the board cuts the power now (simulated; nothing stops)")
                .arg(m_board.delayShutdownFor));
    });

    connect(&m_mqtt, &manager::MqttClient::connected, this, &DeviceSimulator::onConnected);
    connect(&m_mqtt, &manager::MqttClient::disconnected, this,
            [this] { say(QStringLiteral("[Sim] WARN: Disconnected from broker; retrying")); });
    connect(&m_mqtt, &manager::MqttClient::received, this, &DeviceSimulator::onReceived);
    subscribeRequests();
}

DeviceSimulator::~DeviceSimulator() = default;

void DeviceSimulator::setStepMillis(int millis) { m_stepMillis = qMax(1, millis); }

// ---------------------------------------------------------------- plumbing

void DeviceSimulator::say(const QString& line) { emit output(line); }

bool DeviceSimulator::publishRaw(const QString& topic, const QByteArray& payload)
{
    const bool ok = m_mqtt.publish(payload, topic);
    if (!ok)
        say(QStringLiteral("[Sim] WARN: Not connected, dropped publication on ") + topic);
    else if (m_echoPublished)
        say(QStringLiteral("PUB ") + topic + (payload.isEmpty() ? QString() : QStringLiteral(" ") + QString::fromUtf8(payload)));
    return ok;
}

bool DeviceSimulator::publishJson(const QString& topic, const QJsonObject& object)
{
    return publishRaw(topic, compact(object));
}

void DeviceSimulator::subscribeRequests()
{
    const QString v = m_topics.blm, b = m_topics.board, i = m_topics.inspector, n = m_topics.network,
                  d = m_topics.device;
    const QStringList filters = {
        v + "/info/get", v + "/status/get", v + "/config/get", v + "/config/set",
        kRfidEnable, kRfidDisable, kBarcodeEnable, kBarcodeDisable,
        b + "/info/get", b + "/status/get", b + "/config/get", b + "/config/set", b + "/display/get",
        b + "/display/set", b + "/power/get", b + "/power/set", b + "/audio/get", b + "/audio/set",
        b + "/led/play/request/+", b + "/led/off/request/+", b + "/buzzer/play/request/+",
        i + "/info/get", i + "/status/get", i + "/audio/get", i + "/audio/set", i + "/audio/play",
        i + "/stats/+/get", i + "/power/reboot/request/+", i + "/power/shutdown/request/+",
        n + "/info/get", n + "/status/get", n + "/ethernet/state/get", n + "/ethernet/config/get",
        n + "/ethernet/config/set",
        d + "/status/get", d + "/software/check", d + "/update/software/install", d + "/update/software/status/get",
        d + "/clock/ntp/status/get", d + "/clock/ntp/config/get", d + "/clock/ntp/config/set", d + "/clock/ntp/sync",
        m_topics.ui + "/info",
    };
    for (const QString& f : filters)
        m_mqtt.subscribe(f);
}

void DeviceSimulator::onConnected()
{
    say(QStringLiteral("[Sim] Connected to broker; every service publishes its state"));
    m_connectedOnce = true;
    publishAll();
}

void DeviceSimulator::publishAll()
{
    publishValidatorAll();
    publishBoardAll();
    publishInspectorAll();
    publishNetworkAll();
    publishDeviceAll();
}

void DeviceSimulator::onReceived(const QByteArray& payload, const QByteArray& rawTopic)
{
    const QString topic = QString::fromUtf8(rawTopic);
    if (topic == m_topics.ui + "/info") {
        say(QStringLiteral("[Sim] User interface connected (") + QString::fromUtf8(payload).simplified()
            + QStringLiteral("); services publish their state again"));
        publishAll();
        return;
    }

    QJsonObject object;
    const bool empty = payload.trimmed().isEmpty();
    QString shown;
    if (!empty) {
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(payload, &err);
        if (err.error != QJsonParseError::NoError) {
            say(QStringLiteral("REQ ") + topic + " " + QString::fromUtf8(payload).simplified());
            say(QStringLiteral("[Sim] WARN: Request on ") + topic + QStringLiteral(" is not JSON (")
                + err.errorString() + QStringLiteral("); ignored"));
            return;
        }
        object = doc.object();
        shown = QString::fromUtf8(doc.isObject() ? compact(object) : doc.toJson(QJsonDocument::Compact));
    }
    say(QStringLiteral("REQ ") + topic + (shown.isEmpty() ? QString() : QStringLiteral(" ") + shown));

    if (handleValidator(topic, object, empty) || handleBoard(topic, object) || handleInspector(topic, object)
        || handleNetwork(topic, object) || handleDevice(topic, object))
        return;
    say(QStringLiteral("[Sim] WARN: No service answers ") + topic);
}

// ---------------------------------------------------------------- validator

QJsonObject DeviceSimulator::validatorInfo() const
{
    return QJsonObject{
        { "device",
          QJsonObject{ { "rfid",
                         QJsonObject{ { "firmware", "3.12.0" },
                                      { "model", "CR-210" },
                                      { "manufacturer", "Ticora Labs" },
                                      { "uid", "04A2219B7C6F80" } } },
                       { "barcode",
                         QJsonObject{ { "active", m_validator.hasQr },
                                      { "enabled", m_validator.barcodeEnabled },
                                      { "firmware", "2.4.1" },
                                      { "manufacturer", "Ticora Labs" },
                                      { "model", "QS-40" } } } } },
        { "service", QJsonObject{ { "version", "2.7.3" } } },
    };
}

QJsonObject DeviceSimulator::validatorStatus() const
{
    const ValidatorState& v = m_validator;
    int state = 1; // Idle
    QString error;
    if (v.init)
        state = 0;
    else if (v.rfidUpdating)
        state = 4;
    else if (!v.hasRfid) {
        state = 5;
        error = QStringLiteral("Reader does not answer");
    } else if (v.rfidEnabled)
        state = 2; // Searching
    const QJsonObject sam{ { "slot", 0 },          { "enabled", true },           { "unlocked", true },
                           { "atr", "3B DF 18 FF 81 F1 FE 43 00 3F 03 83" },    { "batch", "B24-117" },
                           { "mode", "AV3" },      { "name", "Fare SAM" },        { "production", "2024-03-14" },
                           { "uid", "04E3A91C22" }, { "vendor", "Ticora Labs" }, { "version", "3.0" } };
    QJsonObject rfid{ { "active", v.hasRfid || v.rfidUpdating },
                      { "state", state },
                      { "error", error },
                      { "slots", QJsonArray{ true, false, false, false } },
                      { "sams", QJsonArray{ sam } } };
    const QJsonObject barcode{ { "active", v.hasQr }, { "enabled", v.barcodeEnabled } };
    const QJsonObject flags{ { "init", v.init },         { "hasRfid", v.hasRfid },   { "hasNtp", v.hasNtp },
                             { "hasRoute", v.hasRoute }, { "hasQr", v.hasQr },       { "hasObu", v.hasObu } };
    return QJsonObject{
        { "service", v.service },
        { "device", QJsonObject{ { "rfid", rfid }, { "barcode", barcode } } },
        { "obu", QJsonObject{ { "vehicleUuid", v.hasObu ? "6f1c2d9e-5b7a-4c1e-9a0d-3e7b8f214417" : "" } } },
        { "route", QJsonObject{ { "axisName", v.hasRoute ? "Line 7: Harbour - University" : "" } } },
        { "state", flags },
    };
}

QJsonObject DeviceSimulator::validatorConfig() const
{
    const ValidatorState& v = m_validator;
    // The service publishes numbers and flags as text.
    return QJsonObject{
        { "blm",
          QJsonObject{ { "obu_host", v.obuHost },
                       { "obu_port", v.obuPort > 0 ? QString::number(v.obuPort) : QString() },
                       { "obu_username", v.obuUser },
                       { "obu_password", v.obuPassword } } },
        { "validator",
          QJsonObject{ { "passbackTime", QString::number(v.passbackSecs) }, { "qr_passback", trueFalse(v.qrPassback) } } },
    };
}

void DeviceSimulator::publishValidatorStatus() { publishJson(m_topics.blm + "/status", validatorStatus()); }

void DeviceSimulator::publishValidatorAll()
{
    publishJson(m_topics.blm + "/info", validatorInfo());
    publishValidatorStatus();
    publishJson(m_topics.blm + "/config", validatorConfig());
}

bool DeviceSimulator::handleValidator(const QString& topic, const QJsonObject& o, bool empty)
{
    const QString B = m_topics.blm;
    ValidatorState& v = m_validator;
    if (topic == kRfidEnable) {
        say(QStringLiteral("[Validator] Card reader enabled (autoread ") + trueFalse(o.value("autoread").toBool())
            + QStringLiteral(")"));
        if (!v.rfidEnabled) {
            v.rfidEnabled = true;
            publishValidatorStatus();
        }
    } else if (topic == kRfidDisable) {
        say(QStringLiteral("[Validator] Card reader disabled"));
        if (v.rfidEnabled) {
            v.rfidEnabled = false;
            publishValidatorStatus();
        }
    } else if (topic == kBarcodeEnable || topic == kBarcodeDisable) {
        const bool on = topic == kBarcodeEnable;
        say(QStringLiteral("[Validator] Barcode reader ") + (on ? "enabled" : "disabled"));
        if (v.barcodeEnabled != on) {
            v.barcodeEnabled = on;
            publishValidatorStatus();
        }
    } else if (topic == B + "/info/get") {
        say(QStringLiteral("[Validator] Info requested"));
        publishJson(B + "/info", validatorInfo());
    } else if (topic == B + "/status/get") {
        say(QStringLiteral("[Validator] Status requested"));
        publishValidatorStatus();
    } else if (topic == B + "/config/get") {
        say(QStringLiteral("[Validator] Configuration requested"));
        publishJson(B + "/config", validatorConfig());
    } else if (topic == B + "/config/set") {
        if (empty) {
            say(QStringLiteral("[Validator] WARN: Empty configuration ignored"));
            return true;
        }
        const QJsonObject blm = o.value("blm").toObject();
        const QJsonObject val = o.value("validator").toObject();
        if (blm.contains("obu_host"))
            v.obuHost = blm.value("obu_host").toString();
        if (blm.contains("obu_username"))
            v.obuUser = blm.value("obu_username").toString();
        if (blm.contains("obu_password"))
            v.obuPassword = blm.value("obu_password").toString();
        int n = 0;
        if (blm.contains("obu_port")) {
            // -1 (or anything that is no port) means the URL carries none.
            v.obuPort = readInt(blm.value("obu_port"), n) && n > 0 && n < 65536 ? n : 0;
        }
        if (readInt(val.value("passbackTime"), n) && n >= 0)
            v.passbackSecs = n;
        if (val.contains("qr_passback")) {
            const QJsonValue q = val.value("qr_passback");
            v.qrPassback = q.isBool() ? q.toBool() : q.toString() == QLatin1String("true");
        }
        say(QStringLiteral("[Validator] Configuration saved: OBU %1@%2:%3, passback %4 s, QR passback %5")
                .arg(v.obuUser, v.obuHost, v.obuPort > 0 ? QString::number(v.obuPort) : QStringLiteral("-"))
                .arg(v.passbackSecs)
                .arg(trueFalse(v.qrPassback)));
        publishJson(B + "/config", validatorConfig());
    } else {
        return false;
    }
    return true;
}

void DeviceSimulator::warnIfReaderOff(bool rfid)
{
    const bool on = rfid ? m_validator.rfidEnabled : m_validator.barcodeEnabled;
    if (!on)
        say(QStringLiteral("[Sim] Note: the ") + (rfid ? "card" : "barcode")
            + QStringLiteral(" reader is disabled; a real reader would not have read this"));
}

QString DeviceSimulator::newCardUid() const
{
    QString uid = QStringLiteral("04");
    for (int i = 0; i < 6; ++i)
        uid += QString::number(QRandomGenerator::global()->bounded(256), 16).rightJustified(2, QLatin1Char('0')).toUpper();
    return uid;
}

QJsonObject DeviceSimulator::cardTransaction(const QString& kind, int type, bool valid, int denyId)
{
    ValidatorState& v = m_validator;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QJsonObject card{ { "uid", newCardUid() } };
    QString product;
    QString passenger = QStringLiteral("Adult");
    int before = v.balanceCents;
    int after = v.balanceCents;

    switch (type) {
    case 2:
    case 15: {
        int fare = 120;
        if (type == 15) {
            // Daily capping: once 4.50 are spent, further journeys are free.
            fare = qBound(0, 450 - v.cappedCents, 120);
            product = QStringLiteral("Daily capping (e-purse)");
        } else {
            product = QStringLiteral("Stored value (e-purse)");
        }
        if (valid) {
            after = before - fare;
            v.balanceCents = after;
            if (type == 15)
                v.cappedCents += fare;
        }
        card.insert("ePurse", QJsonObject{ { "transferRemainingMin", valid ? 90 : 0 } });
        break;
    }
    case 5:
    case 16:
    case 12: {
        int left = v.journeys;
        int transfer = 90;
        QDateTime activation = now;
        if (type == 12) {
            product = QStringLiteral("Transfer");
            activation = now.addSecs(-25 * 60);
            transfer = 65;
        } else {
            product = type == 5 ? QStringLiteral("10 journeys") : QStringLiteral("Capped journeys");
            passenger = type == 5 ? QStringLiteral("Student") : QStringLiteral("Adult");
            if (valid && left > 0)
                v.journeys = --left;
        }
        card.insert("storedJourneys", QJsonObject{ { "activationTimestamp", utcStamp(activation) },
                                                   { "after", left },
                                                   { "transferRemainingMin", valid ? transfer : 0 } });
        break;
    }
    case 8: {
        QJsonObject pass;
        if (kind == QLatin1String("daypass")) {
            product = QStringLiteral("Day pass");
            pass = QJsonObject{ { "remainingMinutes", 540 },
                                { "remainingDays", 0 },
                                { "activationTimestamp", utcStamp(now.addSecs(-3 * 3600)) } };
        } else {
            product = QStringLiteral("Monthly pass");
            passenger = QStringLiteral("Student");
            pass = QJsonObject{ { "remainingMinutes", QJsonValue::Null },
                                { "remainingDays", 23 },
                                { "activationTimestamp", utcStamp(now.addDays(-7)) } };
        }
        card.insert("periodPass", pass);
        break;
    }
    case 10:
        product = QStringLiteral("Single fare (bank card)");
        before = after = 0;
        break;
    case 13:
        product = QStringLiteral("Passenger profile update");
        passenger = QStringLiteral("Senior");
        break;
    case 14:
        product = QStringLiteral("Transfer (e-purse)");
        card.insert("ePurse", QJsonObject{ { "transferRemainingMin", valid ? 65 : 0 } });
        break;
    default:
        product = QStringLiteral("Fare product %1").arg(type);
        break;
    }
    card.insert("balanceBefore", before);
    card.insert("balanceAfter", after);

    QJsonObject t{ { "result", valid },
                   { "type", type },
                   { "ticketId", QStringLiteral("C%1").arg(700120 + ++v.sequence) },
                   { "fareProductName", product },
                   { "passengerTypeName", passenger },
                   { "timestamp", utcStamp(now) },
                   { "card", card } };
    if (!valid)
        t.insert("denyReason", QJsonObject{ { "id", denyId } });
    return t;
}

QJsonObject DeviceSimulator::barcodeTransaction(bool valid, int denyId)
{
    ValidatorState& v = m_validator;
    const int n = int(sizeof(kStops) / sizeof(kStops[0]));
    const int seq = ++v.sequence;
    const QJsonObject barcode{ { "fromStopGroupName", kStops[seq % n] },
                               { "toStopGroupName", kStops[(seq + 3) % n] },
                               { "transferRemainingMin", valid ? 90 : 0 } };
    QJsonObject t{ { "result", valid },
                   { "type", 0 },
                   { "ticketId", QStringLiteral("QR%1").arg(91034200 + seq) },
                   { "fareProductName", "90-minute ticket" },
                   { "passengerTypeName", seq % 2 ? "Adult" : "Reduced" },
                   { "timestamp", utcStamp(QDateTime::currentDateTimeUtc()) },
                   { "barcode", barcode } };
    if (!valid)
        t.insert("denyReason", QJsonObject{ { "id", denyId } });
    return t;
}

// ---------------------------------------------------------------- board

QJsonObject DeviceSimulator::boardInfo() const
{
    return QJsonObject{ { "device",
                          QJsonObject{ { "firmwareVersion", "1.9.4" },
                                       { "hardwareId", "TCB-0417-A3" },
                                       { "hardwareVersion", "rev C" } } },
                        { "service", QJsonObject{ { "version", "1.3.0" } } } };
}

QJsonObject DeviceSimulator::boardStatus() const
{
    const BoardState& b = m_board;
    return QJsonObject{ { "service", b.service },
                        { "device",
                          QJsonObject{ { "active", true },
                                       { "ignition", b.ignition },
                                       { "poleId", b.poleId },
                                       { "temperature", b.temperature },
                                       { "voltage", b.voltage },
                                       { "uptime", int(m_uptime.elapsed() / 1000) + 86400 },
                                       { "hardwareStatus", QJsonObject{ { "rtcFailed", b.rtcFailed } } } } } };
}

QJsonObject DeviceSimulator::boardDisplay() const
{
    return QJsonObject{ { "brightness", m_board.brightness }, { "sensor", m_board.sensor }, { "mode", m_board.mode } };
}

void DeviceSimulator::publishBoardStatus() { publishJson(m_topics.board + "/status", boardStatus()); }
void DeviceSimulator::publishDisplay() { publishJson(m_topics.board + "/display", boardDisplay()); }
void DeviceSimulator::publishPower() { publishJson(m_topics.board + "/power", m_board.power); }

void DeviceSimulator::publishBoardAll()
{
    const QString B = m_topics.board;
    publishJson(B + "/info", boardInfo());
    publishBoardStatus();
    publishJson(B + "/config", QJsonObject{ { "device", QJsonObject{ { "delayShutdownFor", m_board.delayShutdownFor } } } });
    publishDisplay();
    publishPower();
    publishJson(B + "/audio", QJsonObject{ { "mute", m_board.mute } });
}

bool DeviceSimulator::handleBoard(const QString& topic, const QJsonObject& o)
{
    const QString B = m_topics.board;
    if (!topic.startsWith(B + "/"))
        return false;
    const QString t = topic.mid(B.size());
    BoardState& b = m_board;
    if (t == "/info/get") {
        say(QStringLiteral("[Board] Info requested"));
        publishJson(B + "/info", boardInfo());
    } else if (t == "/status/get") {
        // The sensors drift a little between readings.
        b.temperature = qBound(35.0, b.temperature + (QRandomGenerator::global()->bounded(5) - 2) * 0.1, 60.0);
        b.voltage = qBound(23.5, b.voltage + (QRandomGenerator::global()->bounded(3) - 1) * 0.1, 25.0);
        say(QStringLiteral("[Board] Status requested"));
        publishBoardStatus();
    } else if (t == "/config/get") {
        say(QStringLiteral("[Board] Configuration requested"));
        publishJson(B + "/config", QJsonObject{ { "device", QJsonObject{ { "delayShutdownFor", b.delayShutdownFor } } } });
    } else if (t == "/config/set") {
        int n = 0;
        const QJsonValue value = o.value("device").toObject().value("delayShutdownFor");
        if (readInt(value, n) && n >= 0) {
            b.delayShutdownFor = n;
            say(QStringLiteral("[Board] Power-off delay after ignition off set to %1 s").arg(n));
        } else {
            say(QStringLiteral("[Board] WARN: Configuration without a usable delayShutdownFor ignored"));
        }
        publishJson(B + "/config", QJsonObject{ { "device", QJsonObject{ { "delayShutdownFor", b.delayShutdownFor } } } });
    } else if (t == "/display/get") {
        b.sensor = qBound(0, b.sensor + QRandomGenerator::global()->bounded(5) - 2, 100);
        if (b.mode == QLatin1String("auto"))
            b.brightness = qBound(10, 20 + b.sensor * 8 / 10, 100);
        say(QStringLiteral("[Board] Display state requested"));
        publishDisplay();
    } else if (t == "/display/set") {
        if (o.contains("mode")) {
            const QString mode = o.value("mode").toString();
            if (mode != QLatin1String("auto") && mode != QLatin1String("manual")) {
                say(QStringLiteral("[Board] WARN: Unknown brightness mode '") + mode + QStringLiteral("' refused"));
            } else {
                b.mode = mode;
                b.brightness = mode == QLatin1String("auto") ? qBound(10, 20 + b.sensor * 8 / 10, 100)
                                                             : b.manualBrightness;
                say(QStringLiteral("[Board] Display brightness mode set to ") + mode);
            }
        }
        if (o.contains("brightness")) {
            int n = 0;
            if (readInt(o.value("brightness"), n)) {
                b.manualBrightness = qBound(0, n, 100);
                if (b.mode == QLatin1String("manual"))
                    b.brightness = b.manualBrightness;
                say(QStringLiteral("[Board] Display brightness set to %1%").arg(b.manualBrightness)
                    + (b.mode == QLatin1String("manual") ? QString() : QStringLiteral(" (applies in manual mode)")));
            } else {
                say(QStringLiteral("[Board] WARN: Brightness is not a number; refused"));
            }
        }
        publishDisplay();
    } else if (t == "/power/get") {
        say(QStringLiteral("[Board] Peripheral power requested"));
        publishPower();
    } else if (t == "/power/set") {
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!b.power.contains(it.key()))
                say(QStringLiteral("[Board] WARN: Unknown peripheral '") + it.key() + QStringLiteral("' ignored"));
            else if (!it.value().isBool())
                say(QStringLiteral("[Board] WARN: Power value for '") + it.key() + QStringLiteral("' is not a boolean; ignored"));
            else {
                b.power.insert(it.key(), it.value());
                say(QStringLiteral("[Board] Peripheral ") + it.key() + QStringLiteral(" switched ")
                    + onOff(it.value().toBool()));
            }
        }
        publishPower();
    } else if (t == "/audio/get") {
        say(QStringLiteral("[Board] Audio mute requested"));
        publishJson(B + "/audio", QJsonObject{ { "mute", b.mute } });
    } else if (t == "/audio/set") {
        if (o.value("mute").isBool()) {
            b.mute = o.value("mute").toBool();
            say(QStringLiteral("[Board] Audio ") + (b.mute ? "muted" : "unmuted"));
        } else {
            say(QStringLiteral("[Board] WARN: Audio request without a boolean mute ignored"));
        }
        publishJson(B + "/audio", QJsonObject{ { "mute", b.mute } });
    } else if (t.startsWith("/led/play/request/")) {
        QStringList steps;
        for (const QJsonValue& s : o.value("steps").toArray()) {
            const QJsonObject c = s.toObject().value("color").toObject();
            const int r = c.value("r").toInt(), g = c.value("g").toInt(), bl = c.value("b").toInt();
            QString name = QStringLiteral("rgb(%1,%2,%3)").arg(r).arg(g).arg(bl);
            if (r == 0 && g == 0 && bl == 0)
                name = QStringLiteral("off");
            else if (r == 255 && g == 0 && bl == 0)
                name = QStringLiteral("red");
            else if (r == 0 && g == 255 && bl == 0)
                name = QStringLiteral("green");
            steps << name + QStringLiteral(" ") + QString::number(s.toObject().value("duration").toInt());
        }
        say(QStringLiteral("[Board] LED pattern: ") + steps.join(QStringLiteral(", ")) + QStringLiteral(" (repeat ")
            + QString::number(o.value("repeat").toInt()) + QStringLiteral(")"));
    } else if (t.startsWith("/led/off/request/")) {
        say(QStringLiteral("[Board] LEDs off"));
    } else if (t.startsWith("/buzzer/play/request/")) {
        say(QStringLiteral("[Board] Buzzer: on %1 ms, off %2 ms, repeat %3")
                .arg(o.value("onMsec").toInt())
                .arg(o.value("offMsec").toInt())
                .arg(o.value("repeat").toInt()));
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- inspector

QJsonObject DeviceSimulator::inspectorStats(const QString& which) const
{
    auto* rnd = QRandomGenerator::global();
    if (which == QLatin1String("cpu"))
        return QJsonObject{ { "cores", 4 },
                            { "usage", 8 + rnd->bounded(20) },
                            { "load", QJsonArray{ 0.42, 0.37, 0.31 } },
                            { "temperature", 47 + rnd->bounded(4) } };
    if (which == QLatin1String("memory"))
        return QJsonObject{ { "total", 2048 * 1024 }, { "used", 612 * 1024 + rnd->bounded(20000) }, { "free", 1200 * 1024 } };
    return QJsonObject{ { "/", QJsonObject{ { "total", 7634944 }, { "used", 2318336 }, { "free", 5316608 } } },
                        { "/data", QJsonObject{ { "total", 14680064 }, { "used", 913408 }, { "free", 13766656 } } } };
}

void DeviceSimulator::publishInspectorAll()
{
    const QString B = m_topics.inspector;
    publishJson(B + "/info", QJsonObject{ { "service", QJsonObject{ { "version", "1.6.1" } } } });
    publishJson(B + "/status", QJsonObject{ { "service", m_inspectorService } });
    publishJson(B + "/audio", QJsonObject{ { "internal", QJsonObject{ { "volume", m_volume } } } });
}

bool DeviceSimulator::handleInspector(const QString& topic, const QJsonObject& o)
{
    const QString B = m_topics.inspector;
    if (!topic.startsWith(B + "/"))
        return false;
    const QString t = topic.mid(B.size());
    if (t == "/info/get") {
        say(QStringLiteral("[Inspector] Info requested"));
        publishJson(B + "/info", QJsonObject{ { "service", QJsonObject{ { "version", "1.6.1" } } } });
    } else if (t == "/status/get") {
        say(QStringLiteral("[Inspector] Status requested"));
        publishJson(B + "/status", QJsonObject{ { "service", m_inspectorService } });
    } else if (t == "/audio/get") {
        say(QStringLiteral("[Inspector] Volume requested"));
        publishJson(B + "/audio", QJsonObject{ { "internal", QJsonObject{ { "volume", m_volume } } } });
    } else if (t == "/audio/set") {
        int n = 0;
        if (readInt(o.value("internal").toObject().value("volume"), n)) {
            m_volume = qBound(0, n, 100);
            say(QStringLiteral("[Inspector] Volume set to %1%").arg(m_volume));
        } else {
            say(QStringLiteral("[Inspector] WARN: Volume request without internal.volume ignored"));
        }
        publishJson(B + "/audio", QJsonObject{ { "internal", QJsonObject{ { "volume", m_volume } } } });
    } else if (t == "/audio/play") {
        const QString file = o.value("filepath").toString();
        say(QStringLiteral("[Inspector] Sound played: ") + (file.isEmpty() ? QStringLiteral("(no file)") : file)
            + QStringLiteral(" (device ") + o.value("device").toString() + QStringLiteral(", volume ")
            + QString::number(m_volume) + QStringLiteral("%)"));
    } else if (t.startsWith("/stats/") && t.endsWith("/get")) {
        const QString which = t.mid(7, t.size() - 11);
        say(QStringLiteral("[Inspector] Statistics requested: ") + which);
        publishJson(B + "/stats/" + which, inspectorStats(which));
    } else if (t.startsWith("/power/reboot/request/")) {
        say(QStringLiteral("[Inspector] Reboot requested (simulated; nothing restarts)"));
    } else if (t.startsWith("/power/shutdown/request/")) {
        say(QStringLiteral("[Inspector] Shutdown requested (simulated; nothing stops)"));
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- network

QJsonObject DeviceSimulator::networkStatus() const
{
    const bool up = m_eth.state == QLatin1String("Activated");
    return QJsonObject{ { "stateStr", m_eth.connection },
                        { "connectivityStr", m_eth.connectivity },
                        { "hostname", m_eth.hostname },
                        { "primaryConnection",
                          QJsonObject{ { "interface", m_eth.interface },
                                       { "stateStr", m_eth.state },
                                       { "typeStr", "ethernet" },
                                       { "ipv4", up ? m_eth.inForce : QJsonObject() } } } };
}

QJsonObject DeviceSimulator::ethernetState() const
{
    const bool up = m_eth.state == QLatin1String("Activated");
    return QJsonObject{ { "interface", m_eth.interface }, { "typeStr", "ethernet" },   { "stateStr", m_eth.state },
                        { "reasonStr", m_eth.reason },    { "mac", m_eth.mac },
                        { "ipv4", up ? m_eth.inForce : QJsonObject() } };
}

QJsonObject DeviceSimulator::ethernetConfig() const
{
    QJsonObject c = m_eth.method == QLatin1String("manual")
                        ? m_eth.manual
                        : QJsonObject{ { "address", "" }, { "netmask", "" }, { "gateway", "" }, { "dns0", "" }, { "dns1", "" } };
    c.insert("interface", m_eth.interface);
    c.insert("method", m_eth.method);
    return c;
}

void DeviceSimulator::publishEthernet()
{
    const QString E = m_topics.network + "/ethernet";
    publishJson(E + "/state", ethernetState());
    publishJson(m_topics.network + "/status", networkStatus());
}

void DeviceSimulator::publishNetworkAll()
{
    const QString N = m_topics.network;
    publishJson(N + "/info", QJsonObject{ { "service", QJsonObject{ { "version", "1.2.5" } } } });
    publishJson(N + "/ethernet/config", ethernetConfig());
    publishEthernet();
}

void DeviceSimulator::reconfigureEthernet()
{
    // The interface goes down while it takes the new settings, as it would on the device.
    m_eth.state = QStringLiteral("Configuring");
    m_eth.reason = QStringLiteral("Connection is being reconfigured");
    m_eth.connection = QStringLiteral("Connecting");
    publishEthernet();
    QTimer::singleShot(2 * m_stepMillis, this, [this] {
        if (m_eth.state != QLatin1String("Configuring"))
            return;
        m_eth.inForce = m_eth.method == QLatin1String("manual") ? m_eth.manual : m_eth.lease;
        m_eth.state = QStringLiteral("Activated");
        m_eth.reason = QStringLiteral("None");
        m_eth.connection = QStringLiteral("Connected");
        say(QStringLiteral("[Network] eth0 up with ") + m_eth.inForce.value("address").toString() + QStringLiteral("/")
            + m_eth.inForce.value("netmask").toString() + QStringLiteral(" (") + m_eth.method + QStringLiteral(")"));
        publishEthernet();
    });
}

bool DeviceSimulator::handleNetwork(const QString& topic, const QJsonObject& o)
{
    const QString N = m_topics.network;
    const QString E = N + "/ethernet";
    if (topic == N + "/info/get") {
        say(QStringLiteral("[Network] Info requested"));
        publishJson(N + "/info", QJsonObject{ { "service", QJsonObject{ { "version", "1.2.5" } } } });
    } else if (topic == N + "/status/get") {
        say(QStringLiteral("[Network] Status requested"));
        publishJson(N + "/status", networkStatus());
    } else if (topic == E + "/state/get") {
        say(QStringLiteral("[Network] Ethernet state requested"));
        publishJson(E + "/state", ethernetState());
    } else if (topic == E + "/config/get") {
        say(QStringLiteral("[Network] Ethernet configuration requested"));
        publishJson(E + "/config", ethernetConfig());
    } else if (topic == E + "/config/set") {
        const QString iface = o.value("interface").toString();
        const QString method = o.value("method").toString();
        static const char* const keys[] = { "address", "netmask", "gateway", "dns0", "dns1" };
        QString refusal;
        if (!iface.isEmpty() && iface != m_eth.interface)
            refusal = QStringLiteral("unknown interface '") + iface + QStringLiteral("'");
        else if (method == QLatin1String("manual")) {
            for (const char* k : keys) {
                const QString value = o.value(QLatin1String(k)).toString();
                const bool required = qstrcmp(k, "address") == 0 || qstrcmp(k, "netmask") == 0;
                if ((required && value.isEmpty()) || (!value.isEmpty() && !isIPv4(value))) {
                    refusal = QStringLiteral("bad ") + QLatin1String(k) + QStringLiteral(" '") + value + QStringLiteral("'");
                    break;
                }
            }
        }
        if (!refusal.isEmpty()) {
            // The service keeps what it had; the page learns it from the next configuration.
            say(QStringLiteral("[Network] WARN: Ethernet configuration refused: ") + refusal);
            publishJson(E + "/config", ethernetConfig());
            return true;
        }
        if (method == QLatin1String("manual")) {
            m_eth.method = method;
            for (const char* k : keys)
                m_eth.manual.insert(QLatin1String(k), o.value(QLatin1String(k)).toString());
            auto shown = [this](const char* k) {
                const QString value = m_eth.manual.value(QLatin1String(k)).toString();
                return value.isEmpty() ? QStringLiteral("-") : value;
            };
            say(QStringLiteral("[Network] Ethernet set to manual: %1/%2 gateway %3 dns %4 %5")
                    .arg(shown("address"), shown("netmask"), shown("gateway"), shown("dns0"), shown("dns1")));
        } else {
            m_eth.method = QStringLiteral("auto");
            say(QStringLiteral("[Network] Ethernet set to automatic (DHCP)"));
        }
        publishJson(E + "/config", ethernetConfig());
        reconfigureEthernet();
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- device

QJsonObject DeviceSimulator::updateStatus() const
{
    return QJsonObject{ { "current", m_device.current }, { "pending", m_device.pending } };
}

QJsonObject DeviceSimulator::deviceStatus() const
{
    return QJsonObject{ { "service", m_device.service },
                        { "update", QJsonObject{ { "software", updateStatus() } } } };
}

QJsonObject DeviceSimulator::ntpStatus() const
{
    return QJsonObject{ { "enabled", m_device.ntpEnabled }, { "synced", m_device.ntpSynced } };
}

QJsonObject DeviceSimulator::ntpConfig() const
{
    return QJsonObject{ { "enabled", m_device.ntpEnabled }, { "server", m_device.ntpServer } };
}

void DeviceSimulator::publishDeviceStatus() { publishJson(m_topics.device + "/status", deviceStatus()); }
void DeviceSimulator::publishNtpStatus() { publishJson(m_topics.device + "/clock/ntp/status", ntpStatus()); }

void DeviceSimulator::publishDeviceAll()
{
    publishDeviceStatus();
    publishJson(m_topics.device + "/update/software/status", updateStatus());
    publishNtpStatus();
    publishJson(m_topics.device + "/clock/ntp/config", ntpConfig());
}

void DeviceSimulator::settleNtp()
{
    QTimer::singleShot(3 * m_stepMillis, this, [this] {
        const bool synced = m_device.ntpEnabled && !m_device.ntpServer.isEmpty();
        if (synced == m_device.ntpSynced)
            return;
        m_device.ntpSynced = synced;
        say(QStringLiteral("[Device] NTP ") + (synced ? "synchronised with " + m_device.ntpServer : QStringLiteral("not synchronised")));
        publishNtpStatus();
    });
}

void DeviceSimulator::startDownload()
{
    m_device.job = DeviceState::Downloading;
    m_device.step = 0;
    say(QStringLiteral("[Device] Downloading update ") + m_device.offered);
    m_updateTimer->start(m_stepMillis);
}

void DeviceSimulator::startInstall()
{
    m_device.job = DeviceState::Installing;
    m_device.step = 0;
    say(QStringLiteral("[Device] Installing update ") + m_device.pending);
    m_updateTimer->start(m_stepMillis);
}

void DeviceSimulator::onUpdateStep()
{
    const QString P = m_topics.device + "/update/software/progress";
    DeviceState& d = m_device;
    ++d.step;
    if (d.job == DeviceState::Downloading) {
        // A slash in the message is what marks it as a download step.
        publishJson(P, QJsonObject{ { "message", QStringLiteral("Downloading %1/%2").arg(d.step).arg(kDownloadChunks) },
                                    { "progress", d.step * 100 / kDownloadChunks },
                                    { "version", d.offered } });
        if (d.step < kDownloadChunks)
            return;
        m_updateTimer->stop();
        d.job = DeviceState::None;
        d.pending = d.offered;
        say(QStringLiteral("[Device] Update ") + d.pending + QStringLiteral(" downloaded, ready to install"));
        publishJson(m_topics.device + "/update/software/status", updateStatus());
        publishDeviceStatus();
    } else if (d.job == DeviceState::Installing) {
        const int n = kInstallSteps.size();
        publishJson(P, QJsonObject{ { "message", kInstallSteps.at(qMin(d.step, n) - 1) },
                                    { "progress", d.step * 100 / n },
                                    { "version", d.pending } });
        if (d.step < n)
            return;
        m_updateTimer->stop();
        d.job = DeviceState::None;
        d.current = d.pending;
        d.pending.clear();
        say(QStringLiteral("[Device] Update ") + d.current
            + QStringLiteral(" installed (a real device would restart now)"));
        publishJson(m_topics.device + "/update/software/status", updateStatus());
        publishDeviceStatus();
    } else {
        m_updateTimer->stop();
    }
}

bool DeviceSimulator::handleDevice(const QString& topic, const QJsonObject& o)
{
    const QString D = m_topics.device;
    const QString T = D + "/clock/ntp";
    DeviceState& d = m_device;
    if (topic == D + "/status/get") {
        say(QStringLiteral("[Device] Status requested"));
        publishDeviceStatus();
    } else if (topic == D + "/update/software/status/get") {
        say(QStringLiteral("[Device] Software versions requested"));
        publishJson(D + "/update/software/status", updateStatus());
    } else if (topic == D + "/software/check") {
        if (d.job != DeviceState::None) {
            say(QStringLiteral("[Device] Update check while busy; progress follows"));
        } else if (!d.offered.isEmpty() && d.offered != d.current && d.offered != d.pending) {
            say(QStringLiteral("[Device] Update check: ") + d.offered + QStringLiteral(" found"));
            startDownload();
        } else {
            say(QStringLiteral("[Device] Update check: ")
                + (d.pending.isEmpty() ? QStringLiteral("nothing new") : d.pending + QStringLiteral(" pending")));
            QTimer::singleShot(2 * m_stepMillis, this, &DeviceSimulator::publishDeviceStatus);
        }
    } else if (topic == D + "/update/software/install") {
        if (d.job != DeviceState::None)
            say(QStringLiteral("[Device] WARN: Install requested while busy; ignored"));
        else if (d.pending.isEmpty()) {
            say(QStringLiteral("[Device] WARN: Install requested with nothing pending"));
            publishDeviceStatus();
        } else
            startInstall();
    } else if (topic == T + "/status/get") {
        say(QStringLiteral("[Device] NTP status requested"));
        publishNtpStatus();
    } else if (topic == T + "/config/get") {
        say(QStringLiteral("[Device] NTP configuration requested"));
        publishJson(T + "/config", ntpConfig());
    } else if (topic == T + "/config/set") {
        const bool enabled = o.value("enabled").isBool() ? o.value("enabled").toBool() : d.ntpEnabled;
        const QString server = o.contains("server") ? o.value("server").toString().trimmed() : d.ntpServer;
        const bool changed = enabled != d.ntpEnabled || server != d.ntpServer;
        d.ntpEnabled = enabled;
        d.ntpServer = server;
        say(QStringLiteral("[Device] NTP ") + (enabled ? "enabled" : "disabled") + QStringLiteral(", server ")
            + (server.isEmpty() ? QStringLiteral("(none)") : server));
        publishJson(T + "/config", ntpConfig());
        if (changed) {
            d.ntpSynced = false;
            publishNtpStatus();
            settleNtp();
        }
    } else if (topic == T + "/sync") {
        say(QStringLiteral("[Device] NTP synchronisation requested"));
        d.ntpSynced = false;
        publishNtpStatus();
        settleNtp();
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- commands

QStringList DeviceSimulator::helpText()
{
    return {
        QStringLiteral("Passengers:"),
        QStringLiteral("  tap valid [kind]              valid card; kind: epurse (default), journeys, period, daypass,"),
        QStringLiteral("                                emv, transfer, profile, transfer-epurse, capping-epurse,"),
        QStringLiteral("                                capping-journeys, or a type number"),
        QStringLiteral("  tap refused <id> [kind]       refused card with deny reason id (200 when left out)"),
        QStringLiteral("  tap already [kind]            card already validated (deny reason 207)"),
        QStringLiteral("  scan valid                    valid barcode ticket"),
        QStringLiteral("  scan refused <id>             refused barcode ticket (100 when left out)"),
        QStringLiteral("  scan already                  barcode ticket already validated (deny reason 103)"),
        QStringLiteral("  card found [uid] [typecode]   card detected by the reader"),
        QStringLiteral("  card removed                  card taken away"),
        QStringLiteral("  card retry                    card read failed, present it again"),
        QStringLiteral("Validator:"),
        QStringLiteral("  status <word> [<word>...]     online, init, degraded, no-rfid, rfid-updating, no-ntp,"),
        QStringLiteral("                                no-route, service-down, no-obu, no-qr (faults combine)"),
        QStringLiteral("Vehicle and board:"),
        QStringLiteral("  ignition on|off               ignition input"),
        QStringLiteral("  event <name> [json]           board event, e.g. event IgnitionChanged 0"),
        QStringLiteral("  board temp <C>|voltage <V>|sensor <%>|rtc ok|fail"),
        QStringLiteral("  service board|inspector|device up|down"),
        QStringLiteral("Network and clock:"),
        QStringLiteral("  net connected|limited|portal|disconnected"),
        QStringLiteral("  ntp synced|unsynced"),
        QStringLiteral("Software update:"),
        QStringLiteral("  update available <version>    the server offers a version; it downloads at once"),
        QStringLiteral("  update install                install the pending version"),
        QStringLiteral("Maintenance barcode (needs a technician logged in on the panel):"),
        QStringLiteral("  maint validator <url>"),
        QStringLiteral("  maint eth0 manual <addr> <mask> <gw> <dns0> <dns1>"),
        QStringLiteral("  maint eth0 auto"),
        QStringLiteral("  maint json <object>           any maintenance barcode content"),
        QStringLiteral("Other:"),
        QStringLiteral("  state                         print the simulated state"),
        QStringLiteral("  publish                       every service publishes its state again"),
        QStringLiteral("  wait <ms>                     pause the command stream (scenarios)"),
        QStringLiteral("  help                          this list"),
        QStringLiteral("  quit                          stop the simulator"),
    };
}

bool DeviceSimulator::execute(const QString& rawLine)
{
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
        return true;
    QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    const QString cmd = words.takeFirst().toLower();
    say(QStringLiteral("CMD ") + line);
    bool ok = false;
    if (cmd == QLatin1String("help")) {
        for (const QString& l : helpText())
            say(l);
        ok = true;
    } else if (cmd == QLatin1String("tap"))
        ok = cmdTap(words);
    else if (cmd == QLatin1String("scan"))
        ok = cmdScan(words);
    else if (cmd == QLatin1String("card"))
        ok = cmdCard(words);
    else if (cmd == QLatin1String("status"))
        ok = cmdStatus(words);
    else if (cmd == QLatin1String("ignition"))
        ok = cmdIgnition(words);
    else if (cmd == QLatin1String("event"))
        ok = cmdEvent(words);
    else if (cmd == QLatin1String("board"))
        ok = cmdBoard(words);
    else if (cmd == QLatin1String("service"))
        ok = cmdService(words);
    else if (cmd == QLatin1String("net"))
        ok = cmdNet(words);
    else if (cmd == QLatin1String("ntp"))
        ok = cmdNtp(words);
    else if (cmd == QLatin1String("update"))
        ok = cmdUpdate(words);
    else if (cmd == QLatin1String("maint"))
        ok = cmdMaint(line.section(QRegularExpression(QStringLiteral("\\s+")), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    else if (cmd == QLatin1String("state"))
        ok = cmdState();
    else if (cmd == QLatin1String("publish")) {
        publishAll();
        ok = true;
    } else if (cmd == QLatin1String("quit") || cmd == QLatin1String("exit")) {
        emit quitRequested();
        ok = true;
    } else {
        say(QStringLiteral("[Sim] Unknown command '") + cmd + QStringLiteral("'; type help"));
        return false;
    }
    if (!ok)
        say(QStringLiteral("[Sim] Cannot do '") + line + QStringLiteral("'; type help"));
    return ok;
}

bool DeviceSimulator::cmdTap(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString outcome = args.at(0).toLower();
    int denyId = 0;
    int next = 1;
    if (outcome == QLatin1String("refused")) {
        denyId = 200;
        if (args.size() > 1) {
            bool ok = false;
            denyId = args.at(1).toInt(&ok);
            if (!ok)
                return false;
            next = 2;
        }
    } else if (outcome == QLatin1String("already")) {
        denyId = 207;
    } else if (outcome != QLatin1String("valid")) {
        return false;
    }
    QString kind = args.size() > next ? args.at(next).toLower() : QStringLiteral("epurse");
    int type = -1;
    for (const TicketKind& k : kKinds)
        if (kind == QLatin1String(k.word))
            type = k.type;
    if (type < 0) {
        bool ok = false;
        type = kind.toInt(&ok);
        if (!ok || type < 0)
            return false;
    }
    // "valid" must stay valid however often it is typed: the passenger tops up first.
    if (outcome == QLatin1String("valid") && (type == 2 || type == 15) && m_validator.balanceCents < 120) {
        m_validator.balanceCents += 2000;
        say(QStringLiteral("[Sim] E-purse topped up by 20.00"));
    }
    if (outcome == QLatin1String("valid") && (type == 5 || type == 16) && m_validator.journeys <= 0) {
        m_validator.journeys = 10;
        say(QStringLiteral("[Sim] Card reloaded with 10 journeys"));
    }
    warnIfReaderOff(true);
    const QJsonObject t = cardTransaction(kind, type, denyId == 0, denyId);
    const QJsonObject card = t.value("card").toObject();
    publishJson(kCardFound, QJsonObject{ { "uid", card.value("uid").toString() }, { "type", type == 10 ? 512 : 256 } });
    publishJson(m_topics.blm + "/rfid/scanned", QJsonObject{ { "transaction", t } });
    QString detail = t.value("fareProductName").toString();
    if (card.contains("ePurse") || type == 2)
        detail += QStringLiteral(", balance ") + money(card.value("balanceBefore").toInt()) + QStringLiteral(" -> ")
                  + money(card.value("balanceAfter").toInt());
    if (card.contains("storedJourneys"))
        detail += QStringLiteral(", journeys left ")
                  + QString::number(card.value("storedJourneys").toObject().value("after").toInt());
    say(QStringLiteral("[Validator] Card ") + card.value("uid").toString() + QStringLiteral(" type ")
        + QString::number(type) + (denyId ? QStringLiteral(" refused (%1)").arg(denyId) : QStringLiteral(" valid"))
        + QStringLiteral(": ") + detail);
    return true;
}

bool DeviceSimulator::cmdScan(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString outcome = args.at(0).toLower();
    int denyId = 0;
    if (outcome == QLatin1String("refused")) {
        denyId = 100;
        if (args.size() > 1) {
            bool ok = false;
            denyId = args.at(1).toInt(&ok);
            if (!ok)
                return false;
        }
    } else if (outcome == QLatin1String("already")) {
        denyId = 103;
    } else if (outcome != QLatin1String("valid")) {
        return false;
    }
    warnIfReaderOff(false);
    const QJsonObject t = barcodeTransaction(denyId == 0, denyId);
    publishJson(m_topics.blm + "/barcode/scanned", QJsonObject{ { "transaction", t } });
    const QJsonObject b = t.value("barcode").toObject();
    say(QStringLiteral("[Validator] Barcode ticket ") + t.value("ticketId").toString()
        + (denyId ? QStringLiteral(" refused (%1)").arg(denyId) : QStringLiteral(" valid")) + QStringLiteral(": ")
        + b.value("fromStopGroupName").toString() + QStringLiteral(" -> ") + b.value("toStopGroupName").toString());
    return true;
}

bool DeviceSimulator::cmdCard(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString what = args.at(0).toLower();
    if (what == QLatin1String("found")) {
        const QString uid = args.size() > 1 ? args.at(1) : newCardUid();
        bool ok = true;
        const int code = args.size() > 2 ? args.at(2).toInt(&ok) : 256;
        if (!ok)
            return false;
        warnIfReaderOff(true);
        publishJson(kCardFound, QJsonObject{ { "uid", uid }, { "type", code } });
        say(QStringLiteral("[Validator] Card found: ") + uid + QStringLiteral(" (type code %1)").arg(code));
    } else if (what == QLatin1String("removed")) {
        publishRaw(kCardRemoved, QByteArray());
        publishRaw(m_topics.blm + "/rfid/removed", QByteArray());
        say(QStringLiteral("[Validator] Card removed"));
    } else if (what == QLatin1String("retry")) {
        publishRaw(m_topics.blm + "/rfid/retry", QByteArrayLiteral("{}"));
        say(QStringLiteral("[Validator] Card read failed: retry"));
    } else {
        return false;
    }
    return true;
}

bool DeviceSimulator::cmdStatus(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    // Each command describes the whole state: faults are laid over a working device.
    ValidatorState v = m_validator;
    v.service = true;
    v.init = v.rfidUpdating = false;
    v.hasRfid = v.hasNtp = v.hasRoute = v.hasQr = v.hasObu = true;
    for (const QString& raw : args) {
        const QString w = raw.toLower();
        if (w == QLatin1String("online"))
            ;
        else if (w == QLatin1String("init"))
            v.init = true;
        else if (w == QLatin1String("degraded") || w == QLatin1String("no-obu"))
            v.hasObu = false;
        else if (w == QLatin1String("no-qr"))
            v.hasQr = false;
        else if (w == QLatin1String("no-rfid"))
            v.hasRfid = false;
        else if (w == QLatin1String("rfid-updating")) {
            v.hasRfid = false;
            v.rfidUpdating = true;
        } else if (w == QLatin1String("no-ntp"))
            v.hasNtp = false;
        else if (w == QLatin1String("no-route") || w == QLatin1String("out-of-service"))
            v.hasRoute = false;
        else if (w == QLatin1String("service-down") || w == QLatin1String("offline"))
            v.service = false;
        else
            return false;
    }
    m_validator = v;
    say(QStringLiteral("[Validator] Status now: ") + args.join(QLatin1Char(' ')));
    publishValidatorStatus();
    return true;
}

bool DeviceSimulator::cmdIgnition(const QStringList& args)
{
    if (args.size() != 1)
        return false;
    const QString w = args.at(0).toLower();
    if (w != QLatin1String("on") && w != QLatin1String("off"))
        return false;
    m_board.ignition = w == QLatin1String("on");
    if (m_board.ignition)
        m_powerCutTimer->stop();
    else
        m_powerCutTimer->start(m_board.delayShutdownFor * 1000);
    say(QStringLiteral("[Board] Ignition ") + w
        + (m_board.ignition ? QString()
                            : QStringLiteral(" (board cuts the power in %1 s unless it comes back)").arg(m_board.delayShutdownFor)));
    publishBoardStatus();
    return true;
}

bool DeviceSimulator::cmdEvent(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    QJsonValue data;
    if (args.size() > 1) {
        const QByteArray text = args.mid(1).join(QLatin1Char(' ')).toUtf8();
        // Wrapped in an array so that plain numbers and strings parse as JSON too.
        const QJsonDocument doc = QJsonDocument::fromJson("[" + text + "]");
        data = doc.isArray() && doc.array().size() == 1 ? doc.array().at(0) : QJsonValue(QString::fromUtf8(text));
    }
    publishJson(m_topics.board + "/event", QJsonObject{ { "name", args.at(0) }, { "data", data } });
    say(QStringLiteral("[Board] Event ") + args.at(0) + QStringLiteral(" published"));
    return true;
}

bool DeviceSimulator::cmdBoard(const QStringList& args)
{
    if (args.size() != 2)
        return false;
    const QString what = args.at(0).toLower();
    bool ok = false;
    const double value = args.at(1).toDouble(&ok);
    if (what == QLatin1String("temp") && ok)
        m_board.temperature = value;
    else if (what == QLatin1String("voltage") && ok)
        m_board.voltage = value;
    else if (what == QLatin1String("sensor") && ok) {
        m_board.sensor = qBound(0, int(value), 100);
        if (m_board.mode == QLatin1String("auto"))
            m_board.brightness = qBound(10, 20 + m_board.sensor * 8 / 10, 100);
        say(QStringLiteral("[Board] Light sensor at %1%").arg(m_board.sensor));
        publishDisplay();
        return true;
    } else if (what == QLatin1String("rtc") && (args.at(1) == QLatin1String("ok") || args.at(1) == QLatin1String("fail")))
        m_board.rtcFailed = args.at(1) == QLatin1String("fail");
    else
        return false;
    say(QStringLiteral("[Board] ") + what + QStringLiteral(" now ") + args.at(1));
    publishBoardStatus();
    return true;
}

bool DeviceSimulator::cmdService(const QStringList& args)
{
    if (args.size() != 2 || (args.at(1) != QLatin1String("up") && args.at(1) != QLatin1String("down")))
        return false;
    const bool up = args.at(1) == QLatin1String("up");
    const QString which = args.at(0).toLower();
    if (which == QLatin1String("board")) {
        m_board.service = up;
        publishBoardStatus();
    } else if (which == QLatin1String("inspector")) {
        m_inspectorService = up;
        publishJson(m_topics.inspector + "/status", QJsonObject{ { "service", up } });
    } else if (which == QLatin1String("device")) {
        m_device.service = up;
        publishDeviceStatus();
    } else {
        return false;
    }
    say(QStringLiteral("[Sim] Service ") + which + QStringLiteral(" ") + args.at(1));
    return true;
}

bool DeviceSimulator::cmdNet(const QStringList& args)
{
    if (args.size() != 1)
        return false;
    const QString w = args.at(0).toLower();
    if (w == QLatin1String("connected") || w == QLatin1String("limited") || w == QLatin1String("portal")) {
        m_eth.state = QStringLiteral("Activated");
        m_eth.reason = QStringLiteral("None");
        m_eth.connection = QStringLiteral("Connected");
        m_eth.connectivity = w == QLatin1String("connected") ? QStringLiteral("Full")
                             : w == QLatin1String("limited") ? QStringLiteral("Limited")
                                                             : QStringLiteral("Portal");
        m_eth.inForce = m_eth.method == QLatin1String("manual") ? m_eth.manual : m_eth.lease;
    } else if (w == QLatin1String("disconnected")) {
        m_eth.state = QStringLiteral("Unavailable");
        m_eth.reason = QStringLiteral("Carrier lost");
        m_eth.connection = QStringLiteral("Disconnected");
        m_eth.connectivity = QStringLiteral("None");
    } else {
        return false;
    }
    say(QStringLiteral("[Network] Now ") + m_eth.connection + QStringLiteral(", connectivity ") + m_eth.connectivity);
    publishEthernet();
    return true;
}

bool DeviceSimulator::cmdNtp(const QStringList& args)
{
    if (args.size() != 1 || (args.at(0) != QLatin1String("synced") && args.at(0) != QLatin1String("unsynced")))
        return false;
    m_device.ntpSynced = args.at(0) == QLatin1String("synced");
    say(QStringLiteral("[Device] NTP ") + args.at(0));
    publishNtpStatus();
    return true;
}

bool DeviceSimulator::cmdUpdate(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString what = args.at(0).toLower();
    if (what == QLatin1String("available") && args.size() == 2) {
        if (m_device.job != DeviceState::None) {
            say(QStringLiteral("[Device] Busy with an update; try later"));
            return true;
        }
        m_device.offered = args.at(1);
        if (m_device.offered == m_device.current) {
            say(QStringLiteral("[Device] ") + m_device.offered + QStringLiteral(" is already installed"));
            return true;
        }
        startDownload();
        return true;
    }
    if (what == QLatin1String("install") && args.size() == 1) {
        if (m_device.pending.isEmpty() || m_device.job != DeviceState::None) {
            say(QStringLiteral("[Device] Nothing to install now"));
            return true;
        }
        startInstall();
        return true;
    }
    return false;
}

bool DeviceSimulator::cmdMaint(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString what = args.at(0).toLower();
    QJsonObject barcode;
    if (what == QLatin1String("validator") && args.size() == 2) {
        barcode = QJsonObject{ { "validator", QJsonObject{ { "obc", args.at(1) } } } };
    } else if (what == QLatin1String("eth0") && args.size() == 7 && args.at(1) == QLatin1String("manual")) {
        barcode = QJsonObject{ { "network",
                                 QJsonObject{ { "eth0",
                                                QJsonObject{ { "method", "manual" },
                                                             { "address", args.at(2) },
                                                             { "netmask", args.at(3) },
                                                             { "gateway", args.at(4) },
                                                             { "dns0", args.at(5) },
                                                             { "dns1", args.at(6) } } } } } };
    } else if (what == QLatin1String("eth0") && args.size() == 2 && args.at(1) == QLatin1String("auto")) {
        barcode = QJsonObject{ { "network", QJsonObject{ { "eth0", QJsonObject{ { "method", "auto" } } } } } };
    } else if (what == QLatin1String("json") && args.size() > 1) {
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(args.mid(1).join(QLatin1Char(' ')).toUtf8(), &err);
        if (!doc.isObject()) {
            say(QStringLiteral("[Sim] Not a JSON object: ") + err.errorString());
            return false;
        }
        barcode = doc.object();
    } else {
        return false;
    }
    warnIfReaderOff(false);
    publishJson(m_topics.blm + "/barcode/maintenance/scanned", barcode);
    say(QStringLiteral("[Validator] Maintenance barcode scanned: ") + QString::fromUtf8(compact(barcode)));
    return true;
}

bool DeviceSimulator::cmdState()
{
    const ValidatorState& v = m_validator;
    say(QStringLiteral("[Sim] Validator: service %1, init %2, rfid %3%4, ntp %5, route %6, qr %7, obu %8; "
                       "card reader %9, barcode reader %10")
            .arg(onOff(v.service), onOff(v.init), onOff(v.hasRfid),
                 v.rfidUpdating ? QStringLiteral(" (updating)") : QString(),
                 onOff(v.hasNtp), onOff(v.hasRoute), onOff(v.hasQr), onOff(v.hasObu))
            .arg(onOff(v.rfidEnabled), onOff(v.barcodeEnabled)));
    say(QStringLiteral("[Sim] Cards: e-purse %1, journeys %2; OBU %3@%4:%5, passback %6 s, QR passback %7")
            .arg(money(v.balanceCents))
            .arg(v.journeys)
            .arg(v.obuUser, v.obuHost)
            .arg(v.obuPort)
            .arg(v.passbackSecs)
            .arg(trueFalse(v.qrPassback)));
    const BoardState& b = m_board;
    say(QStringLiteral("[Sim] Board: ignition %1, brightness %2% (%3, sensor %4%), audio %5, power-off delay %6 s")
            .arg(onOff(b.ignition))
            .arg(b.brightness)
            .arg(b.mode)
            .arg(b.sensor)
            .arg(b.mute ? QStringLiteral("muted") : QStringLiteral("on"))
            .arg(b.delayShutdownFor));
    say(QStringLiteral("[Sim] Inspector: volume %1%; Network: %2 (%3), eth0 %4 %5")
            .arg(m_volume)
            .arg(m_eth.connection, m_eth.connectivity, m_eth.method, m_eth.inForce.value("address").toString()));
    say(QStringLiteral("[Sim] Device: software %1, pending %2, offered %3; NTP %4 (%5), %6")
            .arg(m_device.current, m_device.pending.isEmpty() ? QStringLiteral("-") : m_device.pending,
                 m_device.offered.isEmpty() ? QStringLiteral("-") : m_device.offered, onOff(m_device.ntpEnabled),
                 m_device.ntpServer, m_device.ntpSynced ? QStringLiteral("synced") : QStringLiteral("not synced")));
    return true;
}
