#pragma once

#include "SimService.h"

// The inspector service: system statistics, sound playback with its volume, reboot
// and shutdown (reported, never carried out).
class SimInspector : public SimService
{
    Q_OBJECT
public:
    SimInspector(manager::MqttClient& mqtt, const QString& base, QObject* parent = nullptr);

    QStringList requestTopics() const override;
    bool handleRequest(const QString& topic, const QJsonObject& request, bool empty) override;
    void publishAll() override;
    QStringList stateLines() const override;
    void setServiceUp(bool up);

private:
    QJsonObject stats(const QString& which) const;

    bool m_service = true;
    int m_volume = 70;
};
