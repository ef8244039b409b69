#include "SimValidator.h"

#include "MqttClient.h"
#include "SampleValidations.h"
#include "Topics.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>

using namespace sim;
namespace topics = manager::topics;

namespace {

QString money(int cents) { return QString::number(cents / 100.0, 'f', 2); }

struct TicketKind
{
    const char* word;
    int type;
};
const TicketKind kKinds[]
    = { { "epurse", 2 }, { "journeys", 5 }, { "period", 8 }, { "daypass", 8 }, { "emv", 10 }, { "transfer", 12 },
          { "profile", 13 }, { "transfer-epurse", 14 }, { "capping-epurse", 15 }, { "capping-journeys", 16 } };

const char* const kStops[] = { "Central Station", "University", "Harbour", "Old Town", "General Hospital", "Airport",
    "Stadium", "Market Square" };

} // namespace

SimValidator::SimValidator(manager::MqttClient& mqtt, const QString& base, QObject* parent)
    : SimService(mqtt, base, parent)
    , m_cardRemoval(new QTimer(this))
{
    m_cardRemoval->setSingleShot(true);
    connect(m_cardRemoval, &QTimer::timeout, this, &SimValidator::removeCard);
}

void SimValidator::removeCard()
{
    m_cardRemoval->stop();
    publishRaw(topics::CardRemoved, QByteArray());
    publishRaw(m_base + "/rfid/removed", QByteArray());
    say(QStringLiteral("[Validator] Card removed"));
}

QStringList SimValidator::requestTopics() const
{
    return { m_base + "/info/get", m_base + "/status/get", m_base + "/config/get", m_base + "/config/set",
        topics::RfidEnable, topics::RfidDisable, topics::BarcodeEnable, topics::BarcodeDisable };
}

QStringList SimValidator::stateLines() const
{
    const State& v = m_state;
    return {
        QStringLiteral("[Sim] Validator: service %1, init %2, rfid %3%4, ntp %5, route %6, qr %7, obu %8; "
                       "card reader %9, barcode reader %10")
            .arg(onOff(v.service), onOff(v.init), onOff(v.hasRfid),
                v.rfidUpdating ? QStringLiteral(" (updating)") : QString(), onOff(v.hasNtp), onOff(v.hasRoute),
                onOff(v.hasQr), onOff(v.hasObu))
            .arg(onOff(v.rfidEnabled), onOff(v.barcodeEnabled)),
        QStringLiteral("[Sim] Cards: e-purse %1, journeys %2; OBU %3@%4:%5, passback %6 s, QR passback %7")
            .arg(money(v.balanceCents))
            .arg(v.journeys)
            .arg(v.obuUser, v.obuHost)
            .arg(v.obuPort)
            .arg(v.passbackSecs)
            .arg(trueFalse(v.qrPassback)),
    };
}

QJsonObject SimValidator::info() const
{
    return QJsonObject {
        { "device",
            QJsonObject { { "rfid",
                              QJsonObject { { "firmware", "3.12.0" }, { "model", "CR-210" },
                                  { "manufacturer", "Ticora Labs" }, { "uid", "04A2219B7C6F80" } } },
                { "barcode",
                    QJsonObject { { "active", m_state.hasQr }, { "enabled", m_state.barcodeEnabled },
                        { "firmware", "2.4.1" }, { "manufacturer", "Ticora Labs" }, { "model", "QS-40" } } } } },
        { "service", QJsonObject { { "version", "2.7.3" } } },
    };
}

QJsonObject SimValidator::status() const
{
    const State& v = m_state;
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
    const QJsonObject sam { { "slot", 0 }, { "enabled", true }, { "unlocked", true },
        { "atr", "3B DF 18 FF 81 F1 FE 43 00 3F 03 83" }, { "batch", "B24-117" }, { "mode", "AV3" },
        { "name", "Fare SAM" }, { "production", "2024-03-14" }, { "uid", "04E3A91C22" }, { "vendor", "Ticora Labs" },
        { "version", "3.0" } };
    QJsonObject rfid { { "active", v.hasRfid || v.rfidUpdating }, { "state", state }, { "error", error },
        { "slots", QJsonArray { true, false, false, false } }, { "sams", QJsonArray { sam } } };
    const QJsonObject barcode { { "active", v.hasQr }, { "enabled", v.barcodeEnabled } };
    const QJsonObject flags { { "init", v.init }, { "hasRfid", v.hasRfid }, { "hasNtp", v.hasNtp },
        { "hasRoute", v.hasRoute }, { "hasQr", v.hasQr }, { "hasObu", v.hasObu } };
    return QJsonObject {
        { "service", v.service },
        { "device", QJsonObject { { "rfid", rfid }, { "barcode", barcode } } },
        { "obu", QJsonObject { { "vehicleUuid", v.hasObu ? "6f1c2d9e-5b7a-4c1e-9a0d-3e7b8f214417" : "" } } },
        { "route", QJsonObject { { "axisName", v.hasRoute ? "Line 7: Harbour - University" : "" } } },
        { "state", flags },
    };
}

QJsonObject SimValidator::config() const
{
    const State& v = m_state;
    // The service publishes numbers and flags as text.
    return QJsonObject {
        { "blm",
            QJsonObject { { "obu_host", v.obuHost },
                { "obu_port", v.obuPort > 0 ? QString::number(v.obuPort) : QString() }, { "obu_username", v.obuUser },
                { "obu_password", v.obuPassword } } },
        { "validator",
            QJsonObject {
                { "passbackTime", QString::number(v.passbackSecs) }, { "qr_passback", trueFalse(v.qrPassback) } } },
    };
}

void SimValidator::publishStatus() { publishJson(m_base + "/status", status()); }

void SimValidator::publishAll()
{
    publishJson(m_base + "/info", info());
    publishStatus();
    publishJson(m_base + "/config", config());
}

bool SimValidator::handleRequest(const QString& topic, const QJsonObject& o, bool empty)
{
    const QString B = m_base;
    State& v = m_state;
    if (topic == topics::RfidEnable) {
        say(QStringLiteral("[Validator] Card reader enabled (autoread ") + trueFalse(o.value("autoread").toBool())
            + QStringLiteral(")"));
        if (!v.rfidEnabled) {
            v.rfidEnabled = true;
            publishStatus();
        }
    } else if (topic == topics::RfidDisable) {
        say(QStringLiteral("[Validator] Card reader disabled"));
        if (v.rfidEnabled) {
            v.rfidEnabled = false;
            publishStatus();
        }
    } else if (topic == topics::BarcodeEnable || topic == topics::BarcodeDisable) {
        const bool on = topic == topics::BarcodeEnable;
        say(QStringLiteral("[Validator] Barcode reader ") + (on ? "enabled" : "disabled"));
        if (v.barcodeEnabled != on) {
            v.barcodeEnabled = on;
            publishStatus();
        }
    } else if (topic == B + "/info/get") {
        say(QStringLiteral("[Validator] Info requested"));
        publishJson(B + "/info", info());
    } else if (topic == B + "/status/get") {
        say(QStringLiteral("[Validator] Status requested"));
        publishStatus();
    } else if (topic == B + "/config/get") {
        say(QStringLiteral("[Validator] Configuration requested"));
        publishJson(B + "/config", config());
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
        publishJson(B + "/config", config());
    } else {
        return false;
    }
    return true;
}

void SimValidator::warnIfReaderOff(bool rfid)
{
    const bool on = rfid ? m_state.rfidEnabled : m_state.barcodeEnabled;
    if (!on)
        say(QStringLiteral("[Sim] Note: the ") + (rfid ? "card" : "barcode")
            + QStringLiteral(" reader is disabled; a real reader would not have read this"));
}

QString SimValidator::newCardUid() const
{
    QString uid = QStringLiteral("04");
    for (int i = 0; i < 6; ++i)
        uid += QString::number(QRandomGenerator::global()->bounded(256), 16)
                   .rightJustified(2, QLatin1Char('0'))
                   .toUpper();
    return uid;
}

QJsonObject SimValidator::cardTransaction(const QString& kind, int type, bool valid, int denyId)
{
    State& v = m_state;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QJsonObject card { { "uid", newCardUid() } };
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
        card.insert("ePurse", QJsonObject { { "transferRemainingMin", valid ? 90 : 0 } });
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
        card.insert("storedJourneys",
            QJsonObject { { "activationTimestamp", utcStamp(activation) }, { "after", left },
                { "transferRemainingMin", valid ? transfer : 0 } });
        break;
    }
    case 8: {
        QJsonObject pass;
        if (kind == QLatin1String("daypass")) {
            product = QStringLiteral("Day pass");
            pass = QJsonObject { { "remainingMinutes", 540 }, { "remainingDays", 0 },
                { "activationTimestamp", utcStamp(now.addSecs(-3 * 3600)) } };
        } else {
            product = QStringLiteral("Monthly pass");
            passenger = QStringLiteral("Student");
            pass = QJsonObject { { "remainingMinutes", QJsonValue::Null }, { "remainingDays", 23 },
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
        card.insert("ePurse", QJsonObject { { "transferRemainingMin", valid ? 65 : 0 } });
        break;
    default:
        product = QStringLiteral("Fare product %1").arg(type);
        break;
    }
    card.insert("balanceBefore", before);
    card.insert("balanceAfter", after);

    QJsonObject t { { "result", valid }, { "type", type },
        { "ticketId", QStringLiteral("C%1").arg(700120 + ++v.sequence) }, { "fareProductName", product },
        { "passengerTypeName", passenger }, { "timestamp", utcStamp(now) }, { "card", card } };
    if (!valid)
        t.insert("denyReason", QJsonObject { { "id", denyId } });
    return t;
}

QJsonObject SimValidator::barcodeTransaction(bool valid, int denyId)
{
    State& v = m_state;
    const int n = int(sizeof(kStops) / sizeof(kStops[0]));
    const int seq = ++v.sequence;
    const QJsonObject barcode { { "fromStopGroupName", kStops[seq % n] }, { "toStopGroupName", kStops[(seq + 3) % n] },
        { "transferRemainingMin", valid ? 90 : 0 } };
    QJsonObject t { { "result", valid }, { "type", 0 }, { "ticketId", QStringLiteral("QR%1").arg(91034200 + seq) },
        { "fareProductName", "90-minute ticket" }, { "passengerTypeName", seq % 2 ? "Adult" : "Reduced" },
        { "timestamp", utcStamp(QDateTime::currentDateTimeUtc()) }, { "barcode", barcode } };
    if (!valid)
        t.insert("denyReason", QJsonObject { { "id", denyId } });
    return t;
}

QVector<SimValidator::Sample> SimValidator::samples() const
{
    QVector<Sample> out;
    for (const SampleValidation& v : samples::inTurn(QStringLiteral("en_IE")))
        out.append(Sample { v.topic(m_base), v.message() });
    return out;
}

bool SimValidator::cmdTap(const QStringList& args)
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
    if (outcome == QLatin1String("valid") && (type == 2 || type == 15) && m_state.balanceCents < 120) {
        m_state.balanceCents += 2000;
        say(QStringLiteral("[Sim] E-purse topped up by 20.00"));
    }
    if (outcome == QLatin1String("valid") && (type == 5 || type == 16) && m_state.journeys <= 0) {
        m_state.journeys = 10;
        say(QStringLiteral("[Sim] Card reloaded with 10 journeys"));
    }
    warnIfReaderOff(true);
    const QJsonObject t = cardTransaction(kind, type, denyId == 0, denyId);
    const QJsonObject card = t.value("card").toObject();
    publishJson(
        topics::CardFound, QJsonObject { { "uid", card.value("uid").toString() }, { "type", type == 10 ? 512 : 256 } });
    publishJson(m_base + "/rfid/scanned", QJsonObject { { "transaction", t } });
    m_cardRemoval->start(3 * m_stepMillis);
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

bool SimValidator::cmdScan(const QStringList& args)
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
    publishJson(m_base + "/barcode/scanned", QJsonObject { { "transaction", t } });
    const QJsonObject b = t.value("barcode").toObject();
    say(QStringLiteral("[Validator] Barcode ticket ") + t.value("ticketId").toString()
        + (denyId ? QStringLiteral(" refused (%1)").arg(denyId) : QStringLiteral(" valid")) + QStringLiteral(": ")
        + b.value("fromStopGroupName").toString() + QStringLiteral(" -> ") + b.value("toStopGroupName").toString());
    return true;
}

bool SimValidator::cmdCard(const QStringList& args)
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
        publishJson(topics::CardFound, QJsonObject { { "uid", uid }, { "type", code } });
        say(QStringLiteral("[Validator] Card found: ") + uid + QStringLiteral(" (type code %1)").arg(code));
    } else if (what == QLatin1String("removed")) {
        removeCard();
    } else if (what == QLatin1String("retry")) {
        publishRaw(m_base + "/rfid/retry", QByteArrayLiteral("{}"));
        say(QStringLiteral("[Validator] Card read failed: retry"));
    } else {
        return false;
    }
    return true;
}

bool SimValidator::cmdStatus(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    // Each command describes the whole state: faults are laid over a working device.
    State v = m_state;
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
    m_state = v;
    say(QStringLiteral("[Validator] Status now: ") + args.join(QLatin1Char(' ')));
    publishStatus();
    return true;
}

bool SimValidator::cmdMaint(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString what = args.at(0).toLower();
    QJsonObject barcode;
    if (what == QLatin1String("validator") && args.size() == 2) {
        barcode = QJsonObject { { "validator", QJsonObject { { "obc", args.at(1) } } } };
    } else if (what == QLatin1String("eth0") && args.size() == 7 && args.at(1) == QLatin1String("manual")) {
        barcode = QJsonObject { { "network",
            QJsonObject { { "eth0",
                QJsonObject { { "method", "manual" }, { "address", args.at(2) }, { "netmask", args.at(3) },
                    { "gateway", args.at(4) }, { "dns0", args.at(5) }, { "dns1", args.at(6) } } } } } };
    } else if (what == QLatin1String("eth0") && args.size() == 2 && args.at(1) == QLatin1String("auto")) {
        barcode = QJsonObject { { "network", QJsonObject { { "eth0", QJsonObject { { "method", "auto" } } } } } };
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
    publishJson(m_base + "/barcode/maintenance/scanned", barcode);
    say(QStringLiteral("[Validator] Maintenance barcode scanned: ") + QString::fromUtf8(compact(barcode)));
    return true;
}
