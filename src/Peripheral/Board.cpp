#include "Board.h"

#include "MqttClient.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

#include <cmath>

namespace manager {

namespace {

const char* boolText(bool b) { return b ? "true" : "false"; }

// Integers wider than int (the uptime may count far) without the undefined
// conversion of an out-of-range double; anything but a number reads as 0.
qint64 integerOf(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18)
        return 0;
    return qint64(d);
}

// Event data as the service wrote it, scalars included.
QString jsonText(const QJsonValue& value)
{
    const QByteArray text = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(text.mid(1, text.size() - 2));
}

QJsonObject ledStep(int r, int g, int b, int duration)
{
    return QJsonObject { { QStringLiteral("color"),
                             QJsonObject {
                                 { QStringLiteral("r"), r }, { QStringLiteral("g"), g }, { QStringLiteral("b"), b } } },
        { QStringLiteral("duration"), duration } };
}

} // namespace

Board::Board(MqttClient& mqtt, const QString& base, QObject* parent)
    : ServiceClient(mqtt, base, QStringLiteral("[Board] "), parent)
{
    connect(&m_mqtt, &MqttClient::connected, this, &Board::refresh);

    log(QtInfoMsg) << "Subscribing to topics";
    subscribe(topic("/info"));
    subscribe(topic("/status"));
    subscribe(topic("/config"));
    subscribe(topic("/display"));
    subscribe(topic("/power"));
    subscribe(topic("/audio"));
    subscribe(topic("/event"));
}

QVariantList Board::peripherals() const
{
    // Keys as the service names them in its power messages.
    static const QMap<QString, QString> labels {
        { QStringLiteral("display"), tr("Display") },
        { QStringLiteral("ftdi"), tr("FTDI") },
        { QStringLiteral("mPCIe1"), tr("mPCIe #1") },
        { QStringLiteral("mPCIe2"), tr("mPCIe #2") },
        { QStringLiteral("qrReader"), tr("QR Reader") },
        { QStringLiteral("rfidReader"), tr("RFID Reader") },
        { QStringLiteral("touch"), tr("Touch") },
        { QStringLiteral("usbHost1"), tr("USB Host") },
        { QStringLiteral("usbHub"), tr("USB Hub") },
    };
    QVariantList list;
    // QJsonObject keeps its keys sorted.
    for (auto it = m_power.constBegin(); it != m_power.constEnd(); ++it) {
        list.append(QVariantMap { { QStringLiteral("item"), it.key() },
            { QStringLiteral("descr"), labels.value(it.key()) }, { QStringLiteral("value"), it.value().toBool() } });
    }
    return list;
}

void Board::refresh()
{
    log(QtDebugMsg) << "Refreshing data";
    const QByteArray empty = QByteArrayLiteral("{}");
    publish(topic("/status/get"), empty);
    publish(topic("/display/get"), empty);
    publish(topic("/power/get"), empty);
    publish(topic("/audio/get"), empty);
}

void Board::playLedPattern(const char* name, int repeat, const QJsonArray& steps)
{
    log(QtInfoMsg) << "Setting LEDs to : " << name;
    publishJson(topic("/led/play/request/1"),
        QJsonObject { { QStringLiteral("repeat"), repeat }, { QStringLiteral("steps"), steps } });
}

void Board::setLedValid() { playLedPattern("VALID", 3, QJsonArray { ledStep(0, 255, 0, 100), ledStep(0, 0, 0, 50) }); }

void Board::setLedInvalid()
{
    playLedPattern("INVALID", 3, QJsonArray { ledStep(255, 0, 0, 100), ledStep(0, 0, 0, 50) });
}

void Board::setLedTestPattern()
{
    playLedPattern("TEST", 30,
        QJsonArray {
            ledStep(255, 0, 0, 1000), ledStep(0, 0, 0, 200), ledStep(0, 255, 0, 1000), ledStep(0, 0, 0, 200) });
}

void Board::setLedOff() { publish(topic("/led/off/request/1"), QByteArray()); }

void Board::playBuzzer(int onMsec, int offMsec, int repeat)
{
    log(QtInfoMsg)
        << QStringLiteral("Playing buzzer : on=%1 msec, off=%2 msec, repeat=%3").arg(onMsec).arg(offMsec).arg(repeat);
    publishJson(topic("/buzzer/play/request/1"),
        QJsonObject { { QStringLiteral("onMsec"), onMsec }, { QStringLiteral("offMsec"), offMsec },
            { QStringLiteral("repeat"), repeat } });
}

void Board::setPeripheralPower(const QString& peripheral, bool value)
{
    log(QtInfoMsg) << "Setting peripheral power: " << peripheral << " (" << boolText(value) << ")";
    publishJson(topic("/power/set"), QJsonObject { { peripheral, value } });
}

bool Board::peripheralPower(const QString& peripheral) const { return m_power.value(peripheral).toBool(); }

void Board::setDisplayBrightness(int value)
{
    log(QtInfoMsg) << "Setting display brightness : " << value;
    publishJson(topic("/display/set"), QJsonObject { { QStringLiteral("brightness"), value } });
}

void Board::setDisplayBrightnessMode(const QString& value)
{
    log(QtInfoMsg) << "Setting display brightness mode : " << value;
    publishJson(topic("/display/set"), QJsonObject { { QStringLiteral("mode"), value } });
}

void Board::setAudioEnabled(bool value)
{
    log(QtInfoMsg) << "Setting audio enabled : " << boolText(value);
    publishJson(topic("/audio/set"), QJsonObject { { QStringLiteral("mute"), !value } });
}

void Board::setDelayShutdownFor(int sec)
{
    if (sec == m_delayShutdownFor)
        return;
    log(QtInfoMsg) << "Setting board shutdown delay : " << sec << " sec(s)";
    publishJson(topic("/config/set"),
        QJsonObject { { QStringLiteral("device"), QJsonObject { { QStringLiteral("delayShutdownFor"), sec } } } });
}

void Board::setPeripherals(const QVariantList& list)
{
    // The list is built from what the service reports; QML cannot replace it.
    log(QtWarningMsg) << "--- SET PERIPHERALS : " << list;
}

void Board::dispatch(const QString& topicName, const QJsonObject& object)
{
    using Handler = void (Board::*)(const QJsonObject&, const QString&);
    static const struct
    {
        const char* suffix;
        Handler handler;
    } routes[] = {
        { "/info", &Board::onInfoReceived },
        { "/status", &Board::onStatusReceived },
        { "/config", &Board::onConfigReceived },
        { "/display", &Board::onDisplayReceived },
        { "/power", &Board::onPowerReceived },
        { "/event", &Board::onEventReceived },
        { "/audio", &Board::onAudioReceived },
    };
    for (const auto& route : routes) {
        if (topicName == topic(route.suffix)) {
            (this->*route.handler)(object, topicName);
            return;
        }
    }
}

void Board::onInfoReceived(const QJsonObject& object, const QString& topicName)
{
    log(QtInfoMsg) << "Processing info topic " << topicName;
    const QJsonObject device = object.value(QLatin1String("device")).toObject();
    const QJsonObject service = object.value(QLatin1String("service")).toObject();
    m_info.insert(QStringLiteral("firmware"), device.value(QLatin1String("firmwareVersion")).toString());
    m_info.insert(QStringLiteral("hardwareId"), device.value(QLatin1String("hardwareId")).toString());
    m_info.insert(QStringLiteral("hardware"), device.value(QLatin1String("hardwareVersion")).toString());
    m_info.insert(QStringLiteral("version"), service.value(QLatin1String("version")).toString());
    emit infoChanged();
}

void Board::onStatusReceived(const QJsonObject& object, const QString& topicName)
{
    log(QtDebugMsg) << "Processing status topic " << topicName;
    if (!object.value(QLatin1String("service")).toBool()) {
        setStatus(QStringLiteral("offline"));
        return;
    }
    const QJsonObject device = object.value(QLatin1String("device")).toObject();
    if (!device.value(QLatin1String("active")).toBool()) {
        setStatus(QStringLiteral("error"));
        return;
    }
    setStatus(QStringLiteral("online"));
    const bool ignition = device.value(QLatin1String("ignition")).toBool();
    update(m_ignition, ignition, &Board::ignitionChanged, QtDebugMsg, "Ignition changed : ", boolText(ignition));

    const QString poleId = device.value(QLatin1String("poleId")).toString();
    update(m_device.poleId, poleId, &Board::poleIdChanged, QtDebugMsg, "Pole Id changed : ", poleId);
    const double temperature = device.value(QLatin1String("temperature")).toDouble();
    update(m_device.temperature, temperature, &Board::temperatureChanged, QtDebugMsg,
        "Temperature changed : ", temperature);
    const double voltage = device.value(QLatin1String("voltage")).toDouble();
    update(m_device.voltage, voltage, &Board::voltageChanged, QtDebugMsg, "Voltage changed : ", voltage);
    const qint64 uptime = integerOf(device.value(QLatin1String("uptime")));
    update(m_device.uptime, uptime, &Board::uptimeChanged, QtDebugMsg, "Uptime changed : ", uptime);
    const bool rtcFailed
        = device.value(QLatin1String("hardwareStatus")).toObject().value(QLatin1String("rtcFailed")).toBool();
    update(m_device.rtcFailed, rtcFailed, &Board::rtcFailedChanged, QtDebugMsg,
        "RTC Status changed : ", rtcFailed ? "FAIL" : "OK");
}

void Board::setStatus(const QString& status)
{
    update(m_status, status, &Board::statusChanged, QtInfoMsg, "Status changed : ", status);
}

void Board::onConfigReceived(const QJsonObject& object, const QString& topicName)
{
    log(QtInfoMsg) << "Processing config topic " << topicName;
    const int delay = object.value(QLatin1String("device")).toObject().value(QLatin1String("delayShutdownFor")).toInt();
    update(m_delayShutdownFor, delay, &Board::delayShutdownForChanged, QtInfoMsg,
        "Board shutdown delay changed : ", delay, " sec(s)");
}

void Board::onDisplayReceived(const QJsonObject& object, const QString&)
{
    const int brightness = object.value(QLatin1String("brightness")).toInt();
    update(m_display.brightness, brightness, &Board::displayBrightnessChanged, QtDebugMsg,
        "Display brightness changed : ", brightness);
    const int sensor = object.value(QLatin1String("sensor")).toInt();
    update(
        m_display.sensor, sensor, &Board::ambientLightSensorChanged, QtDebugMsg, "Display sensor changed : ", sensor);
    const QString mode = object.value(QLatin1String("mode")).toString();
    update(m_display.mode, mode, &Board::displayBrightnessModeChanged, QtDebugMsg,
        "Display brightness mode changed : ", mode);
}

void Board::onPowerReceived(const QJsonObject& object, const QString&)
{
    bool changed = false;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        // A null member says nothing about that rail.
        if (it.value().isNull())
            continue;
        const auto stored = m_power.constFind(it.key());
        if (stored != m_power.constEnd() && stored.value() == it.value())
            continue;
        const bool on = it.value().toBool();
        log(QtInfoMsg) << "Peripheral power changed '" << it.key() << "' : " << boolText(on);
        m_power.insert(it.key(), it.value());
        changed = true;
        emit peripheralPowerChanged(it.key(), on);
    }
    if (changed)
        emit peripheralsChanged();
}

void Board::onEventReceived(const QJsonObject& object, const QString&)
{
    const QString name = object.value(QLatin1String("name")).toString();
    const QJsonValue data = object.value(QLatin1String("data"));
    log(QtInfoMsg) << "Event received : " << name << " [" << jsonText(data) << "]";
    if (name != QLatin1String("IgnitionChanged"))
        return;
    // Announced on every such event: listeners re-apply the ignition rules even when
    // the flag already had that value.
    m_ignition = data.toVariant().toString() != QLatin1String("0");
    emit ignitionChanged();
}

void Board::onAudioReceived(const QJsonObject& object, const QString&)
{
    update(m_muted, object.value(QLatin1String("mute")).toBool(), &Board::audioEnabledChanged);
}

} // namespace manager
