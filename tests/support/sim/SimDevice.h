#pragma once

#include "SimService.h"

class QTimer;

// The device service: software update (download, then install on request) and NTP.
class SimDevice : public SimService
{
    Q_OBJECT
public:
    SimDevice(manager::MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QStringList requestTopics() const override;
    bool handleRequest(const QString& topic, const QJsonObject& request, bool empty) override;
    void publishAll() override;
    QStringList stateLines() const override;
    void setServiceUp(bool up);

    bool cmdNtp(const QStringList& args);
    bool cmdUpdate(const QStringList& args);

private:
    struct State
    {
        bool service = true;
        QString current = QStringLiteral("1.4.2");
        QString pending;
        QString offered = QStringLiteral("1.5.0"); // newest version on the update server
        enum Job { None, Downloading, Installing } job = None;
        int step = 0;
        bool ntpEnabled = true;
        QString ntpServer = QStringLiteral("pool.ntp.org");
        bool ntpSynced = true;
    };

    QJsonObject status() const;
    QJsonObject updateStatus() const;
    QJsonObject ntpStatus() const;
    QJsonObject ntpConfig() const;
    void publishStatus();
    void publishNtpStatus();
    void settleNtp();
    void startDownload();
    void startInstall();
    void onUpdateStep();

    State m_state;
    QTimer* m_updateTimer = nullptr;
};
