#pragma once

#include "ServiceClient.h"

#include <QTimer>
#include <QVariantMap>

namespace manager {

// The operating-system service: service status and version, the internal sound
// card (volume, playback), system statistics, reboot and power-off. Owns the
// countdown of a shutdown scheduled after the ignition went off.
class Inspector : public ServiceClient
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap info READ info NOTIFY infoChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QVariantMap memory READ memory NOTIFY memoryChanged)
    Q_PROPERTY(QVariantMap cpu READ cpu NOTIFY cpuChanged)
    Q_PROPERTY(QVariantMap disks READ disks NOTIFY disksChanged)
    Q_PROPERTY(int audioVolume READ audioVolume WRITE setAudioVolume NOTIFY audioVolumeChanged)

public:
    // Time the front panel gets to show its farewell screen before the service
    // takes the system down.
    static constexpr int DefaultRequestDelayMsec = 2000;

    Inspector(MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QVariantMap info() const { return m_info; }
    QString status() const { return m_status; }
    QVariantMap memory() const { return m_memory; }
    QVariantMap cpu() const { return m_cpu; }
    QVariantMap disks() const { return m_disks; }
    int audioVolume() const { return m_audioVolume; }

    // For tests: the delay before reboot and shutdown requests, and the countdown.
    void setRequestDelay(int msec) { m_requestDelayMsec = msec; }
    int requestDelay() const { return m_requestDelayMsec; }
    QTimer& shutdownTimer() { return m_shutdownTimer; }

signals:
    void infoChanged();
    void statusChanged();
    void memoryChanged();
    void cpuChanged();
    void disksChanged();
    void audioVolumeChanged();
    void systemRebootStarted();
    void systemShutdownStarted();

public slots:
    void refresh() override;
    void monitor(int msec) { runMonitor(msec); }
    void setAudioVolume(int value);
    void audioPlay(const QString& file);
    void systemReboot();
    void systemShutdown();
    void scheduleShutdown(int sec);
    void abortShutdown();

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private slots:
    void onInfoReceived(const QJsonObject& object, const QString& topic);
    void onStatusReceived(const QJsonObject& object, const QString& topic);
    void onAudioReceived(const QJsonObject& object, const QString& topic);

private:
    void setStatus(const QString& status);
    void publishLater(const QString& topic);

    QVariantMap m_info;
    QString m_status;
    QVariantMap m_memory;
    QVariantMap m_cpu;
    QVariantMap m_disks;
    // The internal sound card's volume, in percent.
    int m_audioVolume = 0;
    QTimer m_shutdownTimer;
    int m_requestDelayMsec = DefaultRequestDelayMsec;
};

} // namespace manager
