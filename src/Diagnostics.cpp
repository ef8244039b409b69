#include "Diagnostics.h"

#include "Board.h"
#include "DiagnosticsLog.h"
#include "Ethernet.h"
#include "GUIManager.h"
#include "Network.h"
#include "QrCodeGenerator.h"
#include "SAM.h"
#include "Validator.h"

#include <QSerialPort>

namespace {

const QString kOk = QStringLiteral("OK");
const QString kError = QStringLiteral("ERROR");
const QString kMissing = QStringLiteral("MISSING");
QString okOrError(bool ok) { return ok ? kOk : kError; }

} // namespace

const QVector<Diagnostics::UsbDevice> Diagnostics::m_usbDevices = {
    { QStringLiteral("USB Hub #1"), QStringLiteral("0451:2077"), QStringLiteral("1-1") },
    { QStringLiteral("mPCIE #1"), QStringLiteral("*"), QStringLiteral("1-1.2") },
    { QStringLiteral("RFID"), QStringLiteral("0ab1:0007"), QStringLiteral("1-1.3") },
    { QStringLiteral("USB Host"), QStringLiteral("*"), QStringLiteral("1-1.4") },
    { QStringLiteral("FTDI"), QStringLiteral("0403:6015"), QStringLiteral("1-1.5") },
    { QStringLiteral("Barcode"), QStringLiteral("*"), QStringLiteral("1-1.6") },
    { QStringLiteral("Touch"), QStringLiteral("222a:0001"), QStringLiteral("1-1.7") },
};

Diagnostics::Paths Diagnostics::Paths::device()
{
    static const QString root = qEnvironmentVariable("TICORA_DEVICE_ROOT");
    return root.isEmpty() ? Paths() : underRoot(root);
}

Diagnostics::Paths Diagnostics::Paths::underRoot(const QString& root)
{
    Paths paths;
    paths.usbDevices.prepend(root);
    paths.sdCard.prepend(root);
    paths.virtualPort.prepend(root);
    return paths;
}

Diagnostics::Diagnostics(const QString& deviceId, manager::Board& board, manager::Network& network,
    manager::Validator& validator, QObject* parent)
    : Diagnostics(deviceId, board, network, validator, Paths::device(), parent)
{
}

Diagnostics::Diagnostics(const QString& deviceId, manager::Board& board, manager::Network& network,
    manager::Validator& validator, const Paths& paths, QObject* parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
    , m_deviceId(deviceId)
    , m_board(board)
    , m_network(network)
    , m_validator(validator)
    , m_paths(paths)
    , m_usbProbe(paths.usbDevices)
    , m_sdCardProbe(paths.sdCard)
    , m_serialLoopback(paths.virtualPort)
    , m_report(*this, deviceId, board, validator)
    , m_session(new SelfTestSession(*this, board, validator, qobject_cast<const GUIManager*>(parent), this))
    , m_now(&QDateTime::currentDateTime)
{
    connect(m_timer, &QTimer::timeout, this, &Diagnostics::check);

    // The network client never announces a new Ethernet object; the state change of
    // the one it has is what moves the result.
    connect(&m_network, &manager::Network::ethernetChanged, this, &Diagnostics::ethernetChanged);
    connect(m_network.ethernet(), &manager::Ethernet::stateChanged, this, &Diagnostics::ethernetChanged);

    connect(&m_board, &manager::Board::ignitionChanged, this, &Diagnostics::ignitionChanged);
    connect(&m_board, &manager::Board::temperatureChanged, this, &Diagnostics::temperatureChanged);
    connect(&m_board, &manager::Board::voltageChanged, this, &Diagnostics::voltageChanged);
    connect(&m_board, &manager::Board::statusChanged, this, &Diagnostics::boardServiceChanged);
    connect(&m_board, &manager::Board::poleIdChanged, this, &Diagnostics::poleIdChanged);
    connect(&m_board, &manager::Board::rtcFailedChanged, this, &Diagnostics::rtcChanged);
    connect(m_validator.rfid(), &ValidatorRfid::samChanged, this, &Diagnostics::samChanged);
    connect(m_validator.rfid(), &ValidatorRfid::activeChanged, this, &Diagnostics::rfidServiceChanged);
    connect(m_validator.barcode(), &ValidatorBarcode::activeChanged, this, &Diagnostics::barcodeServiceChanged);
}

QString Diagnostics::rtc() const { return m_board.rtcFailed() ? kError : kOk; }

QString Diagnostics::ethernet() const { return okOrError(m_network.ethernet()->state() == QLatin1String("Connected")); }

QString Diagnostics::ignition() const { return okOrError(m_board.ignition()); }

QString Diagnostics::temperature() const
{
    const double t = m_board.temperature();
    return okOrError(t > 15.0 && t < 70.0);
}

QString Diagnostics::voltage() const
{
    const double v = m_board.voltage();
    return okOrError(v > 9.0 && v < 40.0);
}

QString Diagnostics::sam() const
{
    const ValidatorRfid* rfid = m_validator.rfid();
    if (!rfid->active())
        return kError;
    const SAM* sam = rfid->sam();
    if (!sam)
        return kMissing;
    return okOrError(!sam->atr().isEmpty());
}

QString Diagnostics::rfidService() const { return okOrError(m_validator.rfid()->active()); }

QString Diagnostics::barcodeService() const { return okOrError(m_validator.barcode()->active()); }

QString Diagnostics::boardService() const { return okOrError(m_board.status() == QLatin1String("online")); }

QString Diagnostics::poleId() const
{
    const QString id = m_board.poleId();
    if (id.isEmpty())
        return kMissing;
    return okOrError(id != QLatin1String("0000000000000000"));
}

void Diagnostics::setResult(QString Diagnostics::*field, const QString& value, void (Diagnostics::*signal)())
{
    if (this->*field == value)
        return;
    this->*field = value;
    emit(this->*signal)();
}

void Diagnostics::setBuzzer(const QString& value)
{
    setResult(&Diagnostics::m_buzzer, value, &Diagnostics::buzzerChanged);
}
void Diagnostics::setLeds(const QString& value) { setResult(&Diagnostics::m_leds, value, &Diagnostics::ledsChanged); }
void Diagnostics::setSpeaker(const QString& value)
{
    setResult(&Diagnostics::m_speaker, value, &Diagnostics::speakerChanged);
}
void Diagnostics::setBarcodeScan(const QString& value)
{
    setResult(&Diagnostics::m_barcodeScan, value, &Diagnostics::barcodeScanChanged);
}
void Diagnostics::setCardScan(const QString& value)
{
    setResult(&Diagnostics::m_cardScan, value, &Diagnostics::cardScanChanged);
}
void Diagnostics::setLightSensor(const QString& value)
{
    setResult(&Diagnostics::m_lightSensor, value, &Diagnostics::lightSensorChanged);
}
void Diagnostics::setRgbTest(const QString& value)
{
    setResult(&Diagnostics::m_rgbTest, value, &Diagnostics::rgbTestChanged);
}

void Diagnostics::setSerialPort(const QString& value)
{
    if (m_serialPort == value)
        return;
    m_serialPort = value;
    DIAG_LOG(qWarning) << "------------- Serial Port changed : " << value;
    emit serialPortChanged();
}

void Diagnostics::setSerialFlowCtrl(int value)
{
    if (m_serialFlowCtrl == value)
        return;
    if (value < QSerialPort::NoFlowControl || value > QSerialPort::SoftwareControl) {
        DIAG_LOG(qWarning) << "WARN: Ignoring unknown serial flow control : " << value;
        return;
    }
    m_serialFlowCtrl = value;
    DIAG_LOG(qWarning) << "------------- Serial Flow ctrl changed : " << value;
    emit serialFlowCtrlChanged();
}

void Diagnostics::start(int intervalSec)
{
    DIAG_LOG(qInfo) << "Starting Diagnostic check (interval=" << intervalSec << " sec)";
    check();
    if (intervalSec != 0)
        m_timer->start(intervalSec * 1000);
}

void Diagnostics::stop()
{
    DIAG_LOG(qInfo) << "Stopping Diagnostic check";
    m_timer->stop();
}

void Diagnostics::check()
{
    using Result = QString Diagnostics::*;
    using Signal = void (Diagnostics::*)();
    // Parallel to m_usbDevices.
    static const QVector<QPair<Result, Signal>> usbResults = {
        { &Diagnostics::m_usbHub, &Diagnostics::usbHubChanged },
        { &Diagnostics::m_mPCIe1, &Diagnostics::mPCIe1Changed },
        { &Diagnostics::m_rfidUsb, &Diagnostics::rfidUsbChanged },
        { &Diagnostics::m_usbHost, &Diagnostics::usbHostChanged },
        { &Diagnostics::m_ftdi, &Diagnostics::ftdiChanged },
        { &Diagnostics::m_barcodeUsb, &Diagnostics::barcodeUsbChanged },
        { &Diagnostics::m_touch, &Diagnostics::touchChanged },
    };
    for (int i = 0; i < m_usbDevices.size(); ++i)
        setResult(usbResults[i].first, m_usbProbe.test(m_usbDevices[i]), usbResults[i].second);
    setResult(&Diagnostics::m_sdCard, m_sdCardProbe.test(), &Diagnostics::sdCardChanged);
    setResult(&Diagnostics::m_serialPortTest, m_serialLoopback.test(m_serialPort, m_serialFlowCtrl),
        &Diagnostics::serialPortTestChanged);
    updateSerialPorts();
}

QString Diagnostics::serialPortDescr(const QString& portName) const
{
    const QSerialPortInfo info = SerialLoopback::portInfo(portName);
    return info.isNull() ? QString() : info.description();
}

QString Diagnostics::autoSelectedPort(const QString& current, const QStringList& ports)
{
    return SerialLoopback::autoSelectedPort(current, ports);
}

void Diagnostics::updateSerialPorts()
{
    const QStringList ports = m_serialLoopback.ports();
    if (ports != m_serialPorts) {
        m_serialPorts = ports;
        emit serialPortsChanged();
    }
    setSerialPort(autoSelectedPort(m_serialPort, m_serialPorts));
}

QString Diagnostics::reportText(const QDateTime& when) const { return m_report.text(when); }

QString Diagnostics::summary(const QDateTime& when) const { return m_report.summary(when); }

void Diagnostics::saveReport()
{
    const QDateTime now = m_now();
    const TestReport::Saved saved = m_report.save(m_paths.reportDir, now);
    if (!saved.ok) {
        emit saveReportFinished(false, QStringLiteral("Could not save Test Report\nERROR: ") + saved.error);
        return;
    }
    m_reportTime = now;
    emit saveReportFinished(true, QStringLiteral("Test report saved successfully:\n") + saved.fileName);
}

QString Diagnostics::generateQr() const
{
    const QDateTime when = m_reportTime.isValid() ? m_reportTime : m_now();
    const QString svg = QrCodeGenerator().generateSvgQr(summary(when), 1, qrcodegen::QrCode::Ecc::MEDIUM);
    if (svg.isEmpty())
        return QString();
    return QStringLiteral("data:image/svg,") + svg;
}
