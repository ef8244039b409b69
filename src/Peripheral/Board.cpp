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

#define BOARD_LOG(level) level().noquote().nospace() << tag()

Board::Board(MqttClient& mqtt, const QString& base, QObject* parent)
    : ServiceClient(mqtt, base, QStringLiteral("[Board] "), parent)
{
    connect(&m_mqtt, &MqttClient::connected, this, &Board::refresh);
    connect(&m_monitorTimer, &QTimer::timeout, this, &Board::refresh);

    BOARD_LOG(qInfo) << "Subscribing to topics";
    subscribe(topic("/info"));
    subscribe(topic("/status"));
    subscribe(topic("/config"));
    subscribe(topic("/display"));
    subscribe(topic("/power"));
    subscribe(topic("/audio"));
    subscribe(topic("/event"));
}

QString Board::poleId() const { return m_device.value(QLatin1String("poleId")).toString(); }
double Board::temperature() const { return m_device.value(QLatin1String("temperature")).toDouble(); }
double Board::voltage() const { return m_device.value(QLatin1String("voltage")).toDouble(); }
qint64 Board::uptime() const { return integerOf(m_device.value(QLatin1String("uptime"))); }
bool Board::rtcFailed() const { return m_device.value(QLatin1String("rtcFailed")).toBool(); }
int Board::displayBrightness() const { return m_display.value(QLatin1String("brightness")).toInt(); }
int Board::ambientLightSensor() const { return m_display.value(QLatin1String("sensor")).toInt(); }
QString Board::displayBrightnessMode() const { return m_display.value(QLatin1String("mode")).toString(); }
bool Board::audioEnabled() const { return !m_audio.value(QStringLiteral("mute"), false).toBool(); }

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
    BOARD_LOG(qDebug) << "Refreshing data";
    const QByteArray empty = QByteArrayLiteral("{}");
    publish(topic("/status/get"), empty);
    publish(topic("/display/get"), empty);
    publish(topic("/power/get"), empty);
    publish(topic("/audio/get"), empty);
}

void Board::monitor(int msec)
{
    if (msec < 0) {
        BOARD_LOG(qWarning) << "WARN: Invalid monitor interval : " << msec << " msec(s)";
        return;
    }
    if (msec == 0) {
        BOARD_LOG(qInfo) << "Monitor stopped";
        m_monitorTimer.stop();
        return;
    }
    BOARD_LOG(qInfo) << "Monitor started : " << msec << " msec(s)";
    m_monitorTimer.start(msec);
    refresh();
}

void Board::playLedPattern(const char* name, int repeat, const QJsonArray& steps)
{
    BOARD_LOG(qInfo) << "Setting LEDs to : " << name;
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
    BOARD_LOG(qInfo)
        << QStringLiteral("Playing buzzer : on=%1 msec, off=%2 msec, repeat=%3").arg(onMsec).arg(offMsec).arg(repeat);
    publishJson(topic("/buzzer/play/request/1"),
        QJsonObject { { QStringLiteral("onMsec"), onMsec }, { QStringLiteral("offMsec"), offMsec },
            { QStringLiteral("repeat"), repeat } });
}

void Board::setPeripheralPower(const QString& peripheral, bool value)
{
    BOARD_LOG(qInfo) << "Setting peripheral power: " << peripheral << " (" << boolText(value) << ")";
    publishJson(topic("/power/set"), QJsonObject { { peripheral, value } });
}

bool Board::peripheralPower(const QString& peripheral) const { return m_power.value(peripheral).toBool(); }

void Board::setDisplayBrightness(int value)
{
    BOARD_LOG(qInfo) << "Setting display brightness : " << value;
    publishJson(topic("/display/set"), QJsonObject { { QStringLiteral("brightness"), value } });
}

void Board::setDisplayBrightnessMode(const QString& value)
{
    BOARD_LOG(qInfo) << "Setting display brightness mode : " << value;
    publishJson(topic("/display/set"), QJsonObject { { QStringLiteral("mode"), value } });
}

void Board::setAudioEnabled(bool value)
{
    BOARD_LOG(qInfo) << "Setting audio enabled : " << boolText(value);
    publishJson(topic("/audio/set"), QJsonObject { { QStringLiteral("mute"), !value } });
}

void Board::setDelayShutdownFor(int sec)
{
    if (sec == m_delayShutdownFor)
        return;
    BOARD_LOG(qInfo) << "Setting board shutdown delay : " << sec << " sec(s)";
    publishJson(topic("/config/set"),
        QJsonObject { { QStringLiteral("device"), QJsonObject { { QStringLiteral("delayShutdownFor"), sec } } } });
}

void Board::setPeripherals(const QVariantList& list)
{
    // The list is built from what the service reports; QML cannot replace it.
    BOARD_LOG(qWarning) << "--- SET PERIPHERALS : " << list;
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
    BOARD_LOG(qInfo) << "Processing info topic " << topicName;
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
    BOARD_LOG(qDebug) << "Processing status topic " << topicName;
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
    setIgnition(device.value(QLatin1String("ignition")).toBool());

    const QString poleIdKey = QStringLiteral("poleId");
    const QString newPoleId = device.value(poleIdKey).toString();
    if (newPoleId != poleId()) {
        BOARD_LOG(qDebug) << "Pole Id changed : " << newPoleId;
        m_device.insert(poleIdKey, newPoleId);
        emit poleIdChanged();
    }
    const QString temperatureKey = QStringLiteral("temperature");
    const double newTemperature = device.value(temperatureKey).toDouble();
    if (newTemperature != temperature()) {
        BOARD_LOG(qDebug) << "Temperature changed : " << newTemperature;
        m_device.insert(temperatureKey, newTemperature);
        emit temperatureChanged();
    }
    const QString voltageKey = QStringLiteral("voltage");
    const double newVoltage = device.value(voltageKey).toDouble();
    if (newVoltage != voltage()) {
        BOARD_LOG(qDebug) << "Voltage changed : " << newVoltage;
        m_device.insert(voltageKey, newVoltage);
        emit voltageChanged();
    }
    const QString uptimeKey = QStringLiteral("uptime");
    const qint64 newUptime = integerOf(device.value(uptimeKey));
    if (newUptime != uptime()) {
        BOARD_LOG(qDebug) << "Uptime changed : " << newUptime;
        m_device.insert(uptimeKey, newUptime);
        emit uptimeChanged();
    }
    const bool newRtcFailed
        = device.value(QLatin1String("hardwareStatus")).toObject().value(QLatin1String("rtcFailed")).toBool();
    if (newRtcFailed != rtcFailed()) {
        BOARD_LOG(qDebug) << "RTC Status changed : " << (newRtcFailed ? "FAIL" : "OK");
        m_device.insert(QStringLiteral("rtcFailed"), newRtcFailed);
        emit rtcFailedChanged();
    }
}

void Board::setStatus(const QString& status)
{
    if (status == m_status)
        return;
    BOARD_LOG(qInfo) << "Status changed : " << status;
    m_status = status;
    emit statusChanged();
}

void Board::setIgnition(bool ignition)
{
    if (ignition == m_ignition)
        return;
    BOARD_LOG(qDebug) << "Ignition changed : " << boolText(ignition);
    m_ignition = ignition;
    emit ignitionChanged();
}

void Board::onConfigReceived(const QJsonObject& object, const QString& topicName)
{
    BOARD_LOG(qInfo) << "Processing config topic " << topicName;
    const int delay = object.value(QLatin1String("device")).toObject().value(QLatin1String("delayShutdownFor")).toInt();
    if (delay == m_delayShutdownFor)
        return;
    BOARD_LOG(qInfo) << "Board shutdown delay changed : " << delay << " sec(s)";
    m_delayShutdownFor = delay;
    emit delayShutdownForChanged();
}

void Board::onDisplayReceived(const QJsonObject& object, const QString&)
{
    const QString brightnessKey = QStringLiteral("brightness");
    const int brightness = object.value(brightnessKey).toInt();
    if (brightness != displayBrightness()) {
        BOARD_LOG(qDebug) << "Display brightness changed : " << brightness;
        m_display.insert(brightnessKey, brightness);
        emit displayBrightnessChanged();
    }
    const QString sensorKey = QStringLiteral("sensor");
    const int sensor = object.value(sensorKey).toInt();
    if (sensor != ambientLightSensor()) {
        BOARD_LOG(qDebug) << "Display sensor changed : " << sensor;
        m_display.insert(sensorKey, sensor);
        emit ambientLightSensorChanged();
    }
    const QString modeKey = QStringLiteral("mode");
    const QString mode = object.value(modeKey).toString();
    if (mode != displayBrightnessMode()) {
        BOARD_LOG(qDebug) << "Display brightness mode changed : " << mode;
        m_display.insert(modeKey, mode);
        emit displayBrightnessModeChanged();
    }
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
        BOARD_LOG(qInfo) << "Peripheral power changed '" << it.key() << "' : " << boolText(on);
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
    BOARD_LOG(qInfo) << "Event received : " << name << " [" << jsonText(data) << "]";
    if (name != QLatin1String("IgnitionChanged"))
        return;
    // Announced on every such event: listeners re-apply the ignition rules even when
    // the flag already had that value.
    m_ignition = data.toVariant().toString() != QLatin1String("0");
    emit ignitionChanged();
}

void Board::onAudioReceived(const QJsonObject& object, const QString&)
{
    const QString muteKey = QStringLiteral("mute");
    const bool mute = object.value(muteKey).toBool();
    if (mute == m_audio.value(muteKey, false).toBool())
        return;
    m_audio.insert(muteKey, mute);
    emit audioEnabledChanged();
}

} // namespace manager
