#pragma once

#include "SdCardProbe.h"
#include "SelfTestSession.h"
#include "SerialLoopback.h"
#include "TestReport.h"
#include "UsbProbe.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

namespace manager {
class Board;
class Network;
class Validator;
} // namespace manager

// The device self-test behind the diagnostics page: USB devices on their ports, the
// SD card, a serial loop-back, results derived from the board, network and validator
// clients, the technician's answers to the interactive checks, and the test report
// with its QR summary.
class Diagnostics : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString rtc READ rtc NOTIFY rtcChanged)
    Q_PROPERTY(QString ethernet READ ethernet NOTIFY ethernetChanged)
    Q_PROPERTY(QString usbHub READ usbHub NOTIFY usbHubChanged)
    Q_PROPERTY(QString mPCIe1 READ mPCIe1 NOTIFY mPCIe1Changed)
    Q_PROPERTY(QString rfidUsb READ rfidUsb NOTIFY rfidUsbChanged)
    Q_PROPERTY(QString barcodeUsb READ barcodeUsb NOTIFY barcodeUsbChanged)
    Q_PROPERTY(QString ftdi READ ftdi NOTIFY ftdiChanged)
    Q_PROPERTY(QString usbHost READ usbHost NOTIFY usbHostChanged)
    Q_PROPERTY(QString touch READ touch NOTIFY touchChanged)
    Q_PROPERTY(QString sdCard READ sdCard NOTIFY sdCardChanged)
    Q_PROPERTY(QString buzzer READ buzzer WRITE setBuzzer NOTIFY buzzerChanged)
    Q_PROPERTY(QString leds READ leds WRITE setLeds NOTIFY ledsChanged)
    Q_PROPERTY(QString ignition READ ignition NOTIFY ignitionChanged)
    Q_PROPERTY(QString temperature READ temperature NOTIFY temperatureChanged)
    Q_PROPERTY(QString voltage READ voltage NOTIFY voltageChanged)
    Q_PROPERTY(QString sam READ sam NOTIFY samChanged)
    Q_PROPERTY(QString speaker READ speaker WRITE setSpeaker NOTIFY speakerChanged)
    Q_PROPERTY(QString barcodeScan READ barcodeScan WRITE setBarcodeScan NOTIFY barcodeScanChanged)
    Q_PROPERTY(QString cardScan READ cardScan WRITE setCardScan NOTIFY cardScanChanged)
    Q_PROPERTY(QString rfidService READ rfidService NOTIFY rfidServiceChanged)
    Q_PROPERTY(QString barcodeService READ barcodeService NOTIFY barcodeServiceChanged)
    Q_PROPERTY(QString boardService READ boardService NOTIFY boardServiceChanged)
    Q_PROPERTY(QString lightSensor READ lightSensor WRITE setLightSensor NOTIFY lightSensorChanged)
    Q_PROPERTY(QString rgbTest READ rgbTest WRITE setRgbTest NOTIFY rgbTestChanged)
    Q_PROPERTY(QString poleId READ poleId NOTIFY poleIdChanged)
    Q_PROPERTY(QString serialPortTest READ serialPortTest NOTIFY serialPortTestChanged)
    Q_PROPERTY(QStringList serialPorts READ serialPorts NOTIFY serialPortsChanged)
    Q_PROPERTY(QString serialPort READ serialPort WRITE setSerialPort NOTIFY serialPortChanged)
    Q_PROPERTY(int serialFlowCtrl READ serialFlowCtrl WRITE setSerialFlowCtrl NOTIFY serialFlowCtrlChanged)
    // The page's visit: what its checks switched on, and the technician's answers.
    Q_PROPERTY(SelfTestSession* session READ session CONSTANT)

public:
    using UsbDevice = UsbProbe::Device;

    // Where the checks look and the report goes. The device uses the defaults; a
    // development machine or a test points them elsewhere.
    struct Paths
    {
        QString usbDevices = QStringLiteral("/sys/bus/usb/devices");
        QString sdCard = QStringLiteral("/dev/mmcblk1p1");
        QString virtualPort = QStringLiteral("/tmp/vcom");
        QString reportDir = QStringLiteral(".");

        // The defaults, each under the directory named by TICORA_DEVICE_ROOT when it
        // is set (read once per process).
        static Paths device();
        static Paths underRoot(const QString& root);
    };

    Diagnostics(const QString& deviceId, manager::Board& board, manager::Network& network,
        manager::Validator& validator, QObject* parent = nullptr);
    Diagnostics(const QString& deviceId, manager::Board& board, manager::Network& network,
        manager::Validator& validator, const Paths& paths, QObject* parent = nullptr);

    QString rtc() const;
    QString ethernet() const;
    QString usbHub() const { return m_usbHub; }
    QString mPCIe1() const { return m_mPCIe1; }
    QString rfidUsb() const { return m_rfidUsb; }
    QString barcodeUsb() const { return m_barcodeUsb; }
    QString ftdi() const { return m_ftdi; }
    QString usbHost() const { return m_usbHost; }
    QString touch() const { return m_touch; }
    QString sdCard() const { return m_sdCard; }
    QString buzzer() const { return m_buzzer; }
    QString leds() const { return m_leds; }
    QString ignition() const;
    QString temperature() const;
    QString voltage() const;
    QString sam() const;
    QString speaker() const { return m_speaker; }
    QString barcodeScan() const { return m_barcodeScan; }
    QString cardScan() const { return m_cardScan; }
    QString rfidService() const;
    QString barcodeService() const;
    QString boardService() const;
    QString lightSensor() const { return m_lightSensor; }
    QString rgbTest() const { return m_rgbTest; }
    QString poleId() const;
    QString serialPortTest() const { return m_serialPortTest; }
    QStringList serialPorts() const { return m_serialPorts; }
    QString serialPort() const { return m_serialPort; }
    int serialFlowCtrl() const { return m_serialFlowCtrl; }
    SelfTestSession* session() const { return m_session; }

    void setBuzzer(const QString& value);
    void setLeds(const QString& value);
    void setSpeaker(const QString& value);
    void setBarcodeScan(const QString& value);
    void setCardScan(const QString& value);
    void setLightSensor(const QString& value);
    void setRgbTest(const QString& value);
    void setSerialPort(const QString& value);
    void setSerialFlowCtrl(int value);

    Q_INVOKABLE void start(int intervalSec);
    Q_INVOKABLE void start() { start(1); }
    Q_INVOKABLE void stop();
    Q_INVOKABLE void saveReport();
    Q_INVOKABLE QString generateQr() const;
    Q_INVOKABLE QString serialPortDescr(const QString& portName) const;

    // The report text and the QR summary for a given moment.
    QString reportText(const QDateTime& when) const;
    QString summary(const QDateTime& when) const;

    // Which port the list selects by itself: "ttyUSB0" while nothing usable is chosen.
    static QString autoSelectedPort(const QString& current, const QStringList& ports);

    // Replaces the clock of the report (tests).
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

signals:
    void rtcChanged();
    void ethernetChanged();
    void usbHubChanged();
    void mPCIe1Changed();
    void rfidUsbChanged();
    void barcodeUsbChanged();
    void ftdiChanged();
    void usbHostChanged();
    void touchChanged();
    void sdCardChanged();
    void buzzerChanged();
    void ledsChanged();
    void ignitionChanged();
    void temperatureChanged();
    void voltageChanged();
    void samChanged();
    void speakerChanged();
    void barcodeScanChanged();
    void cardScanChanged();
    void rfidServiceChanged();
    void barcodeServiceChanged();
    void boardServiceChanged();
    void lightSensorChanged();
    void rgbTestChanged();
    void poleIdChanged();
    void serialPortTestChanged();
    void serialPortsChanged();
    void serialPortChanged();
    void serialFlowCtrlChanged();
    void saveReportFinished(bool result, QString message);

private slots:
    // One round of the automatic checks; the timer runs it while the page is open.
    void check();

private:
    void updateSerialPorts();
    void setResult(QString Diagnostics::*field, const QString& value, void (Diagnostics::*signal)());

    QString m_usbHub;
    QString m_mPCIe1;
    QString m_rfidUsb;
    QString m_barcodeUsb;
    QString m_ftdi;
    QString m_usbHost;
    QString m_touch;
    QString m_sdCard;
    QString m_buzzer;
    QString m_leds;
    QString m_speaker;
    QString m_barcodeScan;
    QString m_cardScan;
    QString m_lightSensor;
    QString m_rgbTest;
    QString m_serialPortTest;
    QString m_serialPort = QStringLiteral("NONE");
    QStringList m_serialPorts;
    int m_serialFlowCtrl = 1;
    QTimer* m_timer;
    const QString& m_deviceId;
    manager::Board& m_board;
    manager::Network& m_network;
    manager::Validator& m_validator;
    Paths m_paths;
    UsbProbe m_usbProbe;
    SdCardProbe m_sdCardProbe;
    SerialLoopback m_serialLoopback;
    TestReport m_report;
    SelfTestSession* m_session;
    std::function<QDateTime()> m_now;
    // The moment of the last saved report, so its QR summary carries the same date.
    QDateTime m_reportTime;

    static const QVector<UsbDevice> m_usbDevices;
};
