#pragma once

#include "SimService.h"

#include <QElapsedTimer>
#include <QVector>

class QTimer;

// The carrier-board service: ignition, sensors, display backlight and light sensor,
// peripheral power, audio mute, LEDs, buzzer and the power-off delay.
class SimBoard : public SimService
{
    Q_OBJECT
public:
    SimBoard(manager::MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QStringList requestTopics() const override;
    bool handleRequest(const QString& topic, const QJsonObject& request, bool empty) override;
    void publishAll() override;
    QStringList stateLines() const override;
    void setServiceUp(bool up);

    bool cmdIgnition(const QStringList& args);
    bool cmdEvent(const QStringList& args);
    bool cmdBoard(const QStringList& args);

private:
    struct State
    {
        bool service = true;
        bool ignition = true;
        QString poleId = QStringLiteral("P-0417");
        double temperature = 41.5;
        double voltage = 24.2;
        bool rtcFailed = false;
        int brightness = 80;
        int manualBrightness = 80;
        int sensor = 55;
        int sensorBase = 55;
        QString mode = QStringLiteral("auto");
        QJsonObject power;
        bool mute = false;
        int delayShutdownFor = 30;
    };

    // One step of an LED pattern: a colour name and how long it shows, in ms.
    struct LedStep
    {
        QString colour;
        int millis = 0;
    };

    QJsonObject info() const;
    QJsonObject status() const;
    QJsonObject display() const;
    void publishStatus();
    void publishDisplay();
    void publishPower();
    // The LEDs and the buzzer play in time, each step announced, so a technician
    // at the demo sees what the device would show and sound.
    void playLeds(const QJsonObject& pattern);
    void showLedStep();
    void stopLeds();
    void playBuzzer(int onMsec, int offMsec, int repeat);
    // Daylight through the windscreen: the sensor swings slowly round its base level.
    void readLightSensor();

    State m_state;
    QElapsedTimer m_uptime;
    QTimer* m_powerCutTimer = nullptr;
    QTimer* m_ledTimer = nullptr;
    QVector<LedStep> m_ledSteps;
    int m_ledStep = 0;
    int m_ledCycle = 0;
    int m_ledRepeat = 0;
    QTimer* m_buzzerTimer = nullptr;
    int m_beeps = 0;
    int m_beepsLeft = 0;
    int m_beepPause = 0;
};
