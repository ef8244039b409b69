#include "SimBoard.h"

#include "MqttClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>

#include <cmath>

using namespace sim;

namespace {
QString colourName(const QJsonObject& c)
{
    const int r = c.value("r").toInt(), g = c.value("g").toInt(), b = c.value("b").toInt();
    if (r == 0 && g == 0 && b == 0)
        return QStringLiteral("off");
    if (r == 255 && g == 0 && b == 0)
        return QStringLiteral("red");
    if (r == 0 && g == 255 && b == 0)
        return QStringLiteral("green");
    return QStringLiteral("rgb(%1,%2,%3)").arg(r).arg(g).arg(b);
}

// Seconds for the light to swing once round its base level.
const double kDaylightPeriodSec = 30.0;
} // namespace

SimBoard::SimBoard(manager::MqttClient& mqtt, const QString& base, QObject* parent)
    : SimService(mqtt, base, parent)
{
    m_uptime.start();
    m_state.power = QJsonObject { { "display", true }, { "ftdi", true }, { "mPCIe1", true }, { "mPCIe2", false },
        { "qrReader", true }, { "rfidReader", true }, { "touch", true }, { "usbHost1", true }, { "usbHub", true } };
    m_powerCutTimer = new QTimer(this);
    m_powerCutTimer->setSingleShot(true);
    connect(m_powerCutTimer, &QTimer::timeout, this, [this] {
        say(QStringLiteral("[Board] Ignition off for %1 s: the board cuts the power now (simulated; nothing stops)")
                .arg(m_state.delayShutdownFor));
    });
    m_ledTimer = new QTimer(this);
    m_ledTimer->setSingleShot(true);
    connect(m_ledTimer, &QTimer::timeout, this, [this] {
        if (++m_ledStep >= m_ledSteps.size()) {
            m_ledStep = 0;
            if (++m_ledCycle >= m_ledRepeat) {
                m_ledSteps.clear();
                say(QStringLiteral("[Board] LED pattern finished after %1 cycle(s)").arg(m_ledRepeat));
                return;
            }
        }
        showLedStep();
    });
    m_buzzerTimer = new QTimer(this);
    m_buzzerTimer->setSingleShot(true);
    connect(m_buzzerTimer, &QTimer::timeout, this, [this] {
        if (m_beepsLeft <= 0)
            return;
        --m_beepsLeft;
        say(QStringLiteral("[Board] Buzzer: beep %1 of %2").arg(m_beeps - m_beepsLeft).arg(m_beeps));
        if (m_beepsLeft > 0)
            m_buzzerTimer->start(m_beepPause);
    });
}

void SimBoard::playLeds(const QJsonObject& pattern)
{
    m_ledSteps.clear();
    for (const QJsonValue& s : pattern.value("steps").toArray()) {
        const QJsonObject step = s.toObject();
        m_ledSteps.append({ colourName(step.value("color").toObject()), qMax(1, step.value("duration").toInt()) });
    }
    m_ledRepeat = qMax(1, pattern.value("repeat").toInt());
    m_ledStep = 0;
    m_ledCycle = 0;
    if (m_ledSteps.isEmpty()) {
        m_ledTimer->stop();
        return;
    }
    showLedStep();
}

void SimBoard::showLedStep()
{
    const LedStep& step = m_ledSteps.at(m_ledStep);
    say(QStringLiteral("[Board] LEDs %1 (cycle %2 of %3)").arg(step.colour).arg(m_ledCycle + 1).arg(m_ledRepeat));
    m_ledTimer->start(step.millis);
}

void SimBoard::stopLeds()
{
    if (m_ledSteps.isEmpty()) {
        say(QStringLiteral("[Board] LEDs off"));
        return;
    }
    say(QStringLiteral("[Board] LEDs off (pattern stopped in cycle %1 of %2)").arg(m_ledCycle + 1).arg(m_ledRepeat));
    m_ledSteps.clear();
    m_ledTimer->stop();
}

void SimBoard::playBuzzer(int onMsec, int offMsec, int repeat)
{
    // A repeat of 0 still sounds once.
    m_beeps = qMax(1, repeat);
    m_beepsLeft = m_beeps;
    m_beepPause = qMax(0, onMsec) + qMax(0, offMsec);
    m_buzzerTimer->start(0);
}

void SimBoard::readLightSensor()
{
    State& b = m_state;
    const double phase = 2.0 * M_PI * double(m_uptime.elapsed()) / (kDaylightPeriodSec * 1000.0);
    const int swing = int(std::lround(25.0 * std::sin(phase)));
    b.sensor = qBound(0, b.sensorBase + swing + QRandomGenerator::global()->bounded(3) - 1, 100);
    if (b.mode == QLatin1String("auto"))
        b.brightness = qBound(10, 20 + b.sensor * 8 / 10, 100);
}

QStringList SimBoard::requestTopics() const
{
    const QString& b = m_base;
    return { b + "/info/get", b + "/status/get", b + "/config/get", b + "/config/set", b + "/display/get",
        b + "/display/set", b + "/power/get", b + "/power/set", b + "/audio/get", b + "/audio/set",
        b + "/led/play/request/+", b + "/led/off/request/+", b + "/buzzer/play/request/+" };
}

QStringList SimBoard::stateLines() const
{
    const State& b = m_state;
    return { QStringLiteral(
        "[Sim] Board: ignition %1, brightness %2% (%3, sensor %4%), audio %5, power-off delay %6 s, "
        "LEDs %7")
                 .arg(onOff(b.ignition))
                 .arg(b.brightness)
                 .arg(b.mode)
                 .arg(b.sensor)
                 .arg(b.mute ? QStringLiteral("muted") : QStringLiteral("on"))
                 .arg(b.delayShutdownFor)
                 .arg(m_ledSteps.isEmpty() ? QStringLiteral("off") : m_ledSteps.at(m_ledStep).colour) };
}

void SimBoard::setServiceUp(bool up)
{
    m_state.service = up;
    publishStatus();
}

QJsonObject SimBoard::info() const
{
    return QJsonObject { { "device",
                             QJsonObject { { "firmwareVersion", "1.9.4" }, { "hardwareId", "TCB-0417-A3" },
                                 { "hardwareVersion", "rev C" } } },
        { "service", QJsonObject { { "version", "1.3.0" } } } };
}

QJsonObject SimBoard::status() const
{
    const State& b = m_state;
    return QJsonObject { { "service", b.service },
        { "device",
            QJsonObject { { "active", true }, { "ignition", b.ignition }, { "poleId", b.poleId },
                { "temperature", b.temperature }, { "voltage", b.voltage },
                { "uptime", int(m_uptime.elapsed() / 1000) + 86400 },
                { "hardwareStatus", QJsonObject { { "rtcFailed", b.rtcFailed } } } } } };
}

QJsonObject SimBoard::display() const
{
    return QJsonObject { { "brightness", m_state.brightness }, { "sensor", m_state.sensor }, { "mode", m_state.mode } };
}

void SimBoard::publishStatus() { publishJson(m_base + "/status", status()); }

void SimBoard::publishDisplay() { publishJson(m_base + "/display", display()); }

void SimBoard::publishPower() { publishJson(m_base + "/power", m_state.power); }

void SimBoard::publishAll()
{
    const QString B = m_base;
    publishJson(B + "/info", info());
    publishStatus();
    publishJson(
        B + "/config", QJsonObject { { "device", QJsonObject { { "delayShutdownFor", m_state.delayShutdownFor } } } });
    publishDisplay();
    publishPower();
    publishJson(B + "/audio", QJsonObject { { "mute", m_state.mute } });
}

bool SimBoard::handleRequest(const QString& topic, const QJsonObject& o, bool)
{
    const QString B = m_base;
    if (!topic.startsWith(B + "/"))
        return false;
    const QString t = topic.mid(B.size());
    State& b = m_state;
    if (t == "/info/get") {
        say(QStringLiteral("[Board] Info requested"));
        publishJson(B + "/info", info());
    } else if (t == "/status/get") {
        // The sensors drift a little between readings.
        b.temperature = qBound(35.0, b.temperature + (QRandomGenerator::global()->bounded(5) - 2) * 0.1, 60.0);
        b.voltage = qBound(23.5, b.voltage + (QRandomGenerator::global()->bounded(3) - 1) * 0.1, 25.0);
        say(QStringLiteral("[Board] Status requested"));
        publishStatus();
    } else if (t == "/config/get") {
        say(QStringLiteral("[Board] Configuration requested"));
        publishJson(
            B + "/config", QJsonObject { { "device", QJsonObject { { "delayShutdownFor", b.delayShutdownFor } } } });
    } else if (t == "/config/set") {
        int n = 0;
        const QJsonValue value = o.value("device").toObject().value("delayShutdownFor");
        if (readInt(value, n) && n >= 0) {
            b.delayShutdownFor = n;
            say(QStringLiteral("[Board] Power-off delay after ignition off set to %1 s").arg(n));
        } else {
            say(QStringLiteral("[Board] WARN: Configuration without a usable delayShutdownFor ignored"));
        }
        publishJson(
            B + "/config", QJsonObject { { "device", QJsonObject { { "delayShutdownFor", b.delayShutdownFor } } } });
    } else if (t == "/display/get") {
        readLightSensor();
        say(QStringLiteral("[Board] Display state requested"));
        publishDisplay();
    } else if (t == "/display/set") {
        if (o.contains("mode")) {
            const QString mode = o.value("mode").toString();
            if (mode != QLatin1String("auto") && mode != QLatin1String("manual")) {
                say(QStringLiteral("[Board] WARN: Unknown brightness mode '") + mode + QStringLiteral("' refused"));
            } else {
                b.mode = mode;
                b.brightness
                    = mode == QLatin1String("auto") ? qBound(10, 20 + b.sensor * 8 / 10, 100) : b.manualBrightness;
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
                say(QStringLiteral("[Board] WARN: Power value for '") + it.key()
                    + QStringLiteral("' is not a boolean; ignored"));
            else {
                b.power.insert(it.key(), it.value());
                say(QStringLiteral("[Board] Peripheral ") + it.key() + QStringLiteral(" switched ")
                    + onOff(it.value().toBool()));
            }
        }
        publishPower();
    } else if (t == "/audio/get") {
        say(QStringLiteral("[Board] Audio mute requested"));
        publishJson(B + "/audio", QJsonObject { { "mute", b.mute } });
    } else if (t == "/audio/set") {
        if (o.value("mute").isBool()) {
            b.mute = o.value("mute").toBool();
            say(QStringLiteral("[Board] Audio ") + (b.mute ? "muted" : "unmuted"));
        } else {
            say(QStringLiteral("[Board] WARN: Audio request without a boolean mute ignored"));
        }
        publishJson(B + "/audio", QJsonObject { { "mute", b.mute } });
    } else if (t.startsWith("/led/play/request/")) {
        QStringList steps;
        for (const QJsonValue& s : o.value("steps").toArray())
            steps << colourName(s.toObject().value("color").toObject()) + QStringLiteral(" ")
                    + QString::number(s.toObject().value("duration").toInt());
        say(QStringLiteral("[Board] LED pattern: ") + steps.join(QStringLiteral(", ")) + QStringLiteral(" (repeat ")
            + QString::number(o.value("repeat").toInt()) + QStringLiteral(")"));
        playLeds(o);
    } else if (t.startsWith("/led/off/request/")) {
        stopLeds();
    } else if (t.startsWith("/buzzer/play/request/")) {
        say(QStringLiteral("[Board] Buzzer: on %1 ms, off %2 ms, repeat %3")
                .arg(o.value("onMsec").toInt())
                .arg(o.value("offMsec").toInt())
                .arg(o.value("repeat").toInt()));
        playBuzzer(o.value("onMsec").toInt(), o.value("offMsec").toInt(), o.value("repeat").toInt());
    } else {
        return false;
    }
    return true;
}

bool SimBoard::cmdIgnition(const QStringList& args)
{
    if (args.size() != 1)
        return false;
    const QString w = args.at(0).toLower();
    if (w != QLatin1String("on") && w != QLatin1String("off"))
        return false;
    m_state.ignition = w == QLatin1String("on");
    if (m_state.ignition)
        m_powerCutTimer->stop();
    else
        m_powerCutTimer->start(m_state.delayShutdownFor * 1000);
    say(QStringLiteral("[Board] Ignition ") + w
        + (m_state.ignition ? QString()
                            : QStringLiteral(" (board cuts the power in %1 s unless it comes back)")
                                  .arg(m_state.delayShutdownFor)));
    publishStatus();
    return true;
}

bool SimBoard::cmdEvent(const QStringList& args)
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
    publishJson(m_base + "/event", QJsonObject { { "name", args.at(0) }, { "data", data } });
    say(QStringLiteral("[Board] Event ") + args.at(0) + QStringLiteral(" published"));
    return true;
}

bool SimBoard::cmdBoard(const QStringList& args)
{
    if (args.size() != 2)
        return false;
    const QString what = args.at(0).toLower();
    bool ok = false;
    const double value = args.at(1).toDouble(&ok);
    if (what == QLatin1String("temp") && ok)
        m_state.temperature = value;
    else if (what == QLatin1String("voltage") && ok)
        m_state.voltage = value;
    else if (what == QLatin1String("sensor") && ok) {
        m_state.sensorBase = m_state.sensor = qBound(0, int(value), 100);
        if (m_state.mode == QLatin1String("auto"))
            m_state.brightness = qBound(10, 20 + m_state.sensor * 8 / 10, 100);
        say(QStringLiteral("[Board] Light sensor at %1%").arg(m_state.sensor));
        publishDisplay();
        return true;
    } else if (what == QLatin1String("rtc")
        && (args.at(1) == QLatin1String("ok") || args.at(1) == QLatin1String("fail")))
        m_state.rtcFailed = args.at(1) == QLatin1String("fail");
    else
        return false;
    say(QStringLiteral("[Board] ") + what + QStringLiteral(" now ") + args.at(1));
    publishStatus();
    return true;
}
