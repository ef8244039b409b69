#pragma once

#include "ServiceClient.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QVariantList>
#include <QVariantMap>

namespace manager {

// The carrier-board service: peripheral power rails, status LEDs, buzzer, display
// backlight and light sensor, audio mute, ignition input, real-time clock, and the
// delay with which the board cuts power after the ignition goes off.
class Board : public ServiceClient
{
    Q_OBJECT
    Q_PROPERTY(bool ignition READ ignition NOTIFY ignitionChanged)
    Q_PROPERTY(QString poleId READ poleId NOTIFY poleIdChanged)
    Q_PROPERTY(double temperature READ temperature NOTIFY temperatureChanged)
    Q_PROPERTY(double voltage READ voltage NOTIFY voltageChanged)
    Q_PROPERTY(int displayBrightness READ displayBrightness WRITE setDisplayBrightness NOTIFY displayBrightnessChanged)
    Q_PROPERTY(QString displayBrightnessMode READ displayBrightnessMode WRITE setDisplayBrightnessMode NOTIFY
            displayBrightnessModeChanged)
    Q_PROPERTY(int ambientLightSensor READ ambientLightSensor NOTIFY ambientLightSensorChanged)
    Q_PROPERTY(QVariantMap info READ info NOTIFY infoChanged)
    Q_PROPERTY(bool audioEnabled READ audioEnabled WRITE setAudioEnabled NOTIFY audioEnabledChanged)
    Q_PROPERTY(QVariantList peripherals READ peripherals WRITE setPeripherals NOTIFY peripheralsChanged)
    Q_PROPERTY(bool rtcFailed READ rtcFailed NOTIFY rtcFailedChanged)
    Q_PROPERTY(int delayShutdownFor READ delayShutdownFor WRITE setDelayShutdownFor NOTIFY delayShutdownForChanged)

public:
    Board(MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    bool ignition() const { return m_ignition; }
    QString poleId() const { return m_device.poleId; }
    double temperature() const { return m_device.temperature; }
    double voltage() const { return m_device.voltage; }
    int displayBrightness() const { return m_display.brightness; }
    QString displayBrightnessMode() const { return m_display.mode; }
    int ambientLightSensor() const { return m_display.sensor; }
    QVariantMap info() const { return m_info; }
    bool audioEnabled() const { return !m_muted; }
    QVariantList peripherals() const;
    bool rtcFailed() const { return m_device.rtcFailed; }
    int delayShutdownFor() const { return m_delayShutdownFor; }

    QString status() const { return m_status; }
    qint64 uptime() const { return m_device.uptime; }

signals:
    void infoChanged();
    void statusChanged();
    void ignitionChanged();
    void poleIdChanged();
    void temperatureChanged();
    void voltageChanged();
    void uptimeChanged();
    void peripheralPowerChanged(const QString& peripheral, bool value);
    void audioEnabledChanged();
    void rtcFailedChanged();
    void displayBrightnessChanged();
    void displayBrightnessModeChanged();
    void ambientLightSensorChanged();
    void peripheralsChanged();
    void delayShutdownForChanged();

public slots:
    void refresh() override;
    void monitor(int msec) { runMonitor(msec); }

    void setLedValid();
    void setLedInvalid();
    void setLedTestPattern();
    void setLedOff();
    void playBuzzer(int onMsec, int offMsec, int repeat = 0);

    void setPeripheralPower(const QString& peripheral, bool value);
    bool peripheralPower(const QString& peripheral) const;

    void setDisplayBrightness(int value);
    void setDisplayBrightnessMode(const QString& value);
    void setAudioEnabled(bool value);
    void setDelayShutdownFor(int sec);
    void setPeripherals(const QVariantList& list);

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private slots:
    void onInfoReceived(const QJsonObject& object, const QString& topic);
    void onStatusReceived(const QJsonObject& object, const QString& topic);
    void onConfigReceived(const QJsonObject& object, const QString& topic);
    void onDisplayReceived(const QJsonObject& object, const QString& topic);
    void onPowerReceived(const QJsonObject& object, const QString& topic);
    void onEventReceived(const QJsonObject& object, const QString& topic);
    void onAudioReceived(const QJsonObject& object, const QString& topic);

private:
    void setStatus(const QString& status);
    void playLedPattern(const char* name, int repeat, const QJsonArray& steps);

    QVariantMap m_info;
    QString m_status;
    // Missing members of the service's messages read as 0, empty or false.
    struct
    {
        QString poleId;
        double temperature = 0;
        double voltage = 0;
        qint64 uptime = 0;
        bool rtcFailed = false;
    } m_device;
    struct
    {
        int brightness = 0;
        int sensor = 0;
        QString mode;
    } m_display;
    // One boolean per rail, as the service last reported it.
    QJsonObject m_power;
    bool m_muted = false;
    int m_delayShutdownFor = 0;
    bool m_ignition = true;
};

} // namespace manager
