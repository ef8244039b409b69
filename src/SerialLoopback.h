#pragma once

#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

// The serial loop-back check: the port's transmit and receive lines are bridged, so
// a byte written must come back. Also lists the ports a technician can choose.
class SerialLoopback
{
public:
    // virtualPort: a path offered after the real ports while it exists.
    explicit SerialLoopback(const QString& virtualPort)
        : m_virtualPort(virtualPort)
    {
    }

    // "OK", "MISSING" (no port chosen), "ERROR" or "ERROR (...)" naming the failed step.
    // Blocks the event loop for at most about 100 ms.
    QString test(const QString& portName, int flowControl) const;

    // "NONE", the available ports in the serial library's order, then the virtual port.
    QStringList ports() const;

    // The available port of that name; a null info when there is none.
    static QSerialPortInfo portInfo(const QString& portName);

    // Which port the list selects by itself: "ttyUSB0" while nothing usable is chosen.
    static QString autoSelectedPort(const QString& current, const QStringList& ports);

private:
    QString m_virtualPort;
};
