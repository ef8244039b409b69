#include "SerialLoopback.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>

namespace {

const QString kNone = QStringLiteral("NONE");
const QString kPreferredPort = QStringLiteral("ttyUSB0");

// The test blocks the event loop; these bound how long.
constexpr int kWriteTimeoutMs = 50;
constexpr int kReadWindowMs = 50;

} // namespace

QSerialPortInfo SerialLoopback::portInfo(const QString& portName)
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports)
        if (info.portName() == portName)
            return info;
    return QSerialPortInfo();
}

QString SerialLoopback::test(const QString& portName, int flowControl) const
{
    if (portName.isEmpty() || portName == kNone)
        return QStringLiteral("MISSING");

    QSerialPort port;
    const QSerialPortInfo info = portInfo(portName);
    if (info.isNull())
        port.setPortName(portName);
    else
        port.setPort(info);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setBaudRate(QSerialPort::Baud9600);
    port.setParity(QSerialPort::NoParity);
    port.setFlowControl(static_cast<QSerialPort::FlowControl>(flowControl));
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
            return QStringLiteral("OK");
        const qint64 left = kReadWindowMs - window.elapsed();
        if (left <= 0)
            return QStringLiteral("ERROR");
        port.waitForReadyRead(int(left));
    }
}

QStringList SerialLoopback::ports() const
{
    QStringList ports { kNone };
    const auto available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : available)
        ports << info.portName();
    if (QFileInfo::exists(m_virtualPort))
        ports << m_virtualPort;
    return ports;
}

QString SerialLoopback::autoSelectedPort(const QString& current, const QStringList& ports)
{
    if (!ports.contains(kPreferredPort))
        return current;
    if (current.isEmpty() || current == kNone || !ports.contains(current))
        return kPreferredPort;
    return current;
}
