#include "Diagnostics.h"

#include "Board.h"
#include "Ethernet.h"
#include "Network.h"
#include "QrCodeGenerator.h"
#include "SAM.h"
#include "Validator.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSerialPort>

#define DIAG_LOG(level) level().noquote().nospace() << "[Diagnostics] "

namespace {

const QString kOk = QStringLiteral("OK");
const QString kError = QStringLiteral("ERROR");
const QString kMissing = QStringLiteral("MISSING");
const QString kNone = QStringLiteral("NONE");
const QString kPreferredPort = QStringLiteral("ttyUSB0");

// The loop-back test blocks the event loop; these bound how long.
constexpr int kWriteTimeoutMs = 50;
constexpr int kReadWindowMs = 50;

constexpr int kLabelWidth = 18;
constexpr int kValueWidth = 35;

QString ruler() { return QString(kLabelWidth + kValueWidth, QLatin1Char('-')); }

QString reportLine(const char* label, const QString& value)
{
    return (QLatin1Char(' ') + QLatin1String(label)).leftJustified(kLabelWidth)
        + value.rightJustified(kValueWidth, QLatin1Char(' '), false);
}

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
        setResult(usbResults[i].first, testUsb(m_usbDevices[i]), usbResults[i].second);
    setResult(&Diagnostics::m_sdCard, testSdCard(), &Diagnostics::sdCardChanged);
    setResult(&Diagnostics::m_serialPortTest, testSerialPort(), &Diagnostics::serialPortTestChanged);
    updateSerialPorts();
}

QString Diagnostics::readFile(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        DIAG_LOG(qCritical) << "ERROR: Failed to open fle : " << path;
        return QString();
    }
    QByteArray data = file.readAll();
    const int nul = data.indexOf('\0');
    if (nul >= 0)
        data.truncate(nul);
    return QString::fromUtf8(data).trimmed();
}

QString Diagnostics::testUsb(const UsbDevice& device) const
{
    const QString dir = m_paths.usbDevices + QLatin1Char('/') + device.path;
    if (!QFileInfo(dir).isDir())
        return kMissing;
    const QString vendor = readFile(dir + QLatin1String("/idVendor"));
    const QString product = readFile(dir + QLatin1String("/idProduct"));
    const QString productName = readFile(dir + QLatin1String("/product"));
    const QString found = vendor + QLatin1Char(':') + product;
    DIAG_LOG(qDebug) << "name=" << device.name << " deviceId=" << found << " expected=" << device.id
                     << " product=" << productName;
    if (device.id == QLatin1String("any") || device.id == QLatin1String("*"))
        return kOk;
    return okOrError(found.contains(device.id));
}

QString Diagnostics::testSdCard() const { return QFileInfo::exists(m_paths.sdCard) ? kOk : kMissing; }

QSerialPortInfo Diagnostics::serialPortInfo(const QString& portName) const
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        if (info.portName() == portName)
            return info;
    return QSerialPortInfo();
}

QString Diagnostics::serialPortDescr(const QString& portName) const
{
    const QSerialPortInfo info = serialPortInfo(portName);
    return info.isNull() ? QString() : info.description();
}

QString Diagnostics::testSerialPort()
{
    if (m_serialPort.isEmpty() || m_serialPort == kNone)
        return kMissing;

    QSerialPort port;
    const QSerialPortInfo info = serialPortInfo(m_serialPort);
    if (info.isNull())
        port.setPortName(m_serialPort);
    else
        port.setPort(info);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setBaudRate(QSerialPort::Baud9600);
    port.setParity(QSerialPort::NoParity);
    port.setFlowControl(static_cast<QSerialPort::FlowControl>(m_serialFlowCtrl));
    if (!port.open(QIODevice::ReadWrite))
        return QStringLiteral("ERROR (Could not open)");

    if (port.write("A", 1) != 1)
        return QStringLiteral("ERROR (Could not write)");
    if (!port.waitForBytesWritten(kWriteTimeoutMs))
        return QStringLiteral("ERROR (Write timeout)");

    QElapsedTimer window;
    window.start();
    for (;;) {
        if (port.bytesAvailable() > 0 && port.readAll().contains('A'))
            return kOk;
        const qint64 left = kReadWindowMs - window.elapsed();
        if (left <= 0)
            return kError;
        port.waitForReadyRead(int(left));
    }
}

QString Diagnostics::autoSelectedPort(const QString& current, const QStringList& ports)
{
    if (!ports.contains(kPreferredPort))
        return current;
    if (current.isEmpty() || current == kNone || !ports.contains(current))
        return kPreferredPort;
    return current;
}

void Diagnostics::updateSerialPorts()
{
    QStringList ports { kNone };
    const auto available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : available)
        ports << info.portName();
    if (QFileInfo::exists(m_paths.virtualPort))
        ports << m_paths.virtualPort;
    if (ports != m_serialPorts) {
        m_serialPorts = ports;
        emit serialPortsChanged();
    }
    setSerialPort(autoSelectedPort(m_serialPort, m_serialPorts));
}

QString Diagnostics::reportText(const QDateTime& when) const
{
    const ValidatorRfid* rfid = m_validator.rfid();
    const SAM* firstSam = rfid->sam();
    const QStringList lines {
        ruler(),
        QStringLiteral(" DEVICE TEST REPORT"),
        ruler(),
        reportLine("Device UID", m_deviceId),
        reportLine("Date", when.toString(QStringLiteral("yyyy-MM-dd hh:mm"))),
        reportLine("SAM", firstSam ? firstSam->uid() : QStringLiteral("SAM not present")),
        reportLine("Barcode Firmware", m_validator.barcode()->firmware()),
        reportLine("RFID Firmware", rfid->firmware()),
        reportLine("Board Firmware", m_board.info().value(QStringLiteral("firmware")).toString()),
        reportLine("App Version", QCoreApplication::applicationVersion()),
        reportLine("Bundle Version", QStringLiteral("<null>")),
        reportLine("Image Version", QStringLiteral("<null>")),
        ruler(),
        reportLine("RTC", rtc()),
        reportLine("Ethernet", ethernet()),
        reportLine("USB Hub", usbHub()),
        reportLine("USB Host", usbHost()),
        reportLine("FTDI", ftdi()),
        reportLine("mPCIe #1", mPCIe1()),
        reportLine("Touch", touch()),
        reportLine("SD Card", sdCard()),
        reportLine("Ignition", ignition()),
        reportLine("Temperature", temperature()),
        reportLine("Voltage", voltage()),
        reportLine("RFID", rfidUsb()),
        reportLine("Barcode", barcodeUsb()),
        reportLine("SAM", sam()),
        reportLine("Buzzer", buzzer()),
        reportLine("Front LEDs", leds()),
        reportLine("Barcode Scan", barcodeScan()),
        reportLine("Card Scan", cardScan()),
        reportLine("RFID Manager", rfidService()),
        reportLine("Barocde Manager", barcodeService()),
        reportLine("Board Manager", boardService()),
        reportLine("Light Sensor", lightSensor()),
        reportLine("Display RGB Test", rgbTest()),
        ruler(),
    };
    return lines.join(QLatin1Char('\n'));
}

QString Diagnostics::summary(const QDateTime& when) const
{
    const SAM* firstSam = m_validator.rfid()->sam();
    const QStringList fields {
        m_deviceId,
        when.toString(QStringLiteral("yyyy-MM-dd hh:mm")),
        firstSam ? firstSam->uid() : QStringLiteral("SAM not present"),
        m_validator.barcode()->firmware(),
        m_validator.rfid()->firmware(),
        m_board.info().value(QStringLiteral("firmware")).toString(),
        QCoreApplication::applicationVersion(),
        QString(),
        QString(),
        rtc(),
        ethernet(),
        usbHub(),
        mPCIe1(),
        rfidUsb(),
        barcodeUsb(),
        ftdi(),
        usbHost(),
        touch(),
        sdCard(),
        buzzer(),
        leds(),
        ignition(),
        temperature(),
        voltage(),
        sam(),
        speaker(),
        barcodeScan(),
        cardScan(),
        rfidService(),
        barcodeService(),
        boardService(),
        lightSensor(),
        rgbTest(),
        poleId(),
        serialPortTest(),
    };
    return fields.join(QLatin1Char(';'));
}

void Diagnostics::saveReport()
{
    const QDateTime now = m_now();
    const QString report = reportText(now);
    const QString fileName = m_paths.reportDir + QLatin1String("/TestReport_")
        + now.toString(QStringLiteral("yyyyMMdd_hhmm")) + QLatin1String(".txt");
    DIAG_LOG(qInfo) << "\n" << report;
    DIAG_LOG(qInfo) << "Saving Diagnostics report to : " << fileName;

    // Written beside its final name and renamed into place, so a power cut leaves the
    // old report or the new one, never half of one.
    QSaveFile file(fileName);
    const QByteArray bytes = report.toUtf8();
    bool saved = file.open(QIODevice::WriteOnly | QIODevice::Text);
    // Flushed here: Qt 5's commit() does not notice a buffered write that fails when it
    // flushes (a full card), and would rename an empty file into place.
    if (saved && (file.write(bytes) != bytes.size() || !file.flush())) {
        saved = false;
        file.cancelWriting();
    }
    if (saved)
        saved = file.commit();
    if (!saved) {
        const QString error = file.errorString();
        DIAG_LOG(qCritical) << "ERROR: Could not save file : " << error;
        emit saveReportFinished(false, QStringLiteral("Could not save Test Report\nERROR: ") + error);
        return;
    }
    m_reportTime = now;
    emit saveReportFinished(true, QStringLiteral("Test report saved successfully:\n") + fileName);
}

QString Diagnostics::generateQr() const
{
    const QDateTime when = m_reportTime.isValid() ? m_reportTime : m_now();
    const QString svg = QrCodeGenerator().generateSvgQr(summary(when), 1, qrcodegen::QrCode::Ecc::MEDIUM);
    if (svg.isEmpty())
        return QString();
    return QStringLiteral("data:image/svg,") + svg;
}
