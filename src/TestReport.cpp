#include "TestReport.h"

#include "Board.h"
#include "Diagnostics.h"
#include "DiagnosticsLog.h"
#include "SAM.h"
#include "Validator.h"

#include <QCoreApplication>
#include <QSaveFile>

namespace {

constexpr int kLabelWidth = 18;
constexpr int kValueWidth = 35;

QString ruler() { return QString(kLabelWidth + kValueWidth, QLatin1Char('-')); }

QString reportLine(const char* label, const QString& value)
{
    return (QLatin1Char(' ') + QLatin1String(label)).leftJustified(kLabelWidth)
        + value.rightJustified(kValueWidth, QLatin1Char(' '), false);
}

QString dateText(const QDateTime& when) { return when.toString(QStringLiteral("yyyy-MM-dd hh:mm")); }

} // namespace

QString TestReport::samUid() const
{
    const SAM* firstSam = m_validator.rfid()->sam();
    return firstSam ? firstSam->uid() : QStringLiteral("SAM not present");
}

QString TestReport::boardFirmware() const { return m_board.info().value(QStringLiteral("firmware")).toString(); }

QString TestReport::text(const QDateTime& when) const
{
    const Diagnostics& r = m_results;
    const QStringList lines {
        ruler(),
        QStringLiteral(" DEVICE TEST REPORT"),
        ruler(),
        reportLine("Device UID", m_deviceId),
        reportLine("Date", dateText(when)),
        reportLine("SAM", samUid()),
        reportLine("Barcode Firmware", m_validator.barcode()->firmware()),
        reportLine("RFID Firmware", m_validator.rfid()->firmware()),
        reportLine("Board Firmware", boardFirmware()),
        reportLine("App Version", QCoreApplication::applicationVersion()),
        reportLine("Bundle Version", QStringLiteral("<null>")),
        reportLine("Image Version", QStringLiteral("<null>")),
        ruler(),
        reportLine("RTC", r.rtc()),
        reportLine("Ethernet", r.ethernet()),
        reportLine("USB Hub", r.usbHub()),
        reportLine("USB Host", r.usbHost()),
        reportLine("FTDI", r.ftdi()),
        reportLine("mPCIe #1", r.mPCIe1()),
        reportLine("Touch", r.touch()),
        reportLine("SD Card", r.sdCard()),
        reportLine("Ignition", r.ignition()),
        reportLine("Temperature", r.temperature()),
        reportLine("Voltage", r.voltage()),
        reportLine("RFID", r.rfidUsb()),
        reportLine("Barcode", r.barcodeUsb()),
        reportLine("SAM", r.sam()),
        reportLine("Buzzer", r.buzzer()),
        reportLine("Front LEDs", r.leds()),
        reportLine("Barcode Scan", r.barcodeScan()),
        reportLine("Card Scan", r.cardScan()),
        reportLine("RFID Manager", r.rfidService()),
        reportLine("Barocde Manager", r.barcodeService()),
        reportLine("Board Manager", r.boardService()),
        reportLine("Light Sensor", r.lightSensor()),
        reportLine("Display RGB Test", r.rgbTest()),
        ruler(),
    };
    return lines.join(QLatin1Char('\n'));
}

QString TestReport::summary(const QDateTime& when) const
{
    const Diagnostics& r = m_results;
    const QStringList fields {
        m_deviceId,
        dateText(when),
        samUid(),
        m_validator.barcode()->firmware(),
        m_validator.rfid()->firmware(),
        boardFirmware(),
        QCoreApplication::applicationVersion(),
        QString(),
        QString(),
        r.rtc(),
        r.ethernet(),
        r.usbHub(),
        r.mPCIe1(),
        r.rfidUsb(),
        r.barcodeUsb(),
        r.ftdi(),
        r.usbHost(),
        r.touch(),
        r.sdCard(),
        r.buzzer(),
        r.leds(),
        r.ignition(),
        r.temperature(),
        r.voltage(),
        r.sam(),
        r.speaker(),
        r.barcodeScan(),
        r.cardScan(),
        r.rfidService(),
        r.barcodeService(),
        r.boardService(),
        r.lightSensor(),
        r.rgbTest(),
        r.poleId(),
        r.serialPortTest(),
    };
    return fields.join(QLatin1Char(';'));
}

TestReport::Saved TestReport::save(const QString& dir, const QDateTime& when) const
{
    Saved saved;
    const QString report = text(when);
    saved.fileName
        = dir + QLatin1String("/TestReport_") + when.toString(QStringLiteral("yyyyMMdd_hhmm")) + QLatin1String(".txt");
    DIAG_LOG(qInfo) << "\n" << report;
    DIAG_LOG(qInfo) << "Saving Diagnostics report to : " << saved.fileName;

    // Written beside its final name and renamed into place, so a power cut leaves the
    // old report or the new one, never half of one.
    QSaveFile file(saved.fileName);
    const QByteArray bytes = report.toUtf8();
    saved.ok = file.open(QIODevice::WriteOnly | QIODevice::Text);
    // Flushed here: Qt 5's commit() does not notice a buffered write that fails when it
    // flushes (a full card), and would rename an empty file into place.
    if (saved.ok && (file.write(bytes) != bytes.size() || !file.flush())) {
        saved.ok = false;
        file.cancelWriting();
    }
    if (saved.ok)
        saved.ok = file.commit();
    if (!saved.ok) {
        saved.error = file.errorString();
        DIAG_LOG(qCritical) << "ERROR: Could not save file : " << saved.error;
    }
    return saved;
}
