#pragma once

#include "ServiceClient.h"

#include <QDateTime>
#include <QJsonArray>

class EventManager;
class MqttClient;

// Answers B + "/events/get" ({"since": ISO 8601, "max": N}, both optional) with the
// event log's entries on B + "/events", newest first, at most MaxPerMessage of them.
class EventLogResponder : public manager::ServiceClient
{
    Q_OBJECT

public:
    static constexpr int MaxPerMessage = 200;

    EventLogResponder(manager::MqttClient& mqtt, EventManager& log, const QString& base, QObject* parent = nullptr);

    // The entries at or after `since` (all when it is invalid), newest first, at most `max`.
    QJsonArray entries(const QDateTime& since, int max) const;

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private:
    EventManager& m_log;
};
