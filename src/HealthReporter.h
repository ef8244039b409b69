#pragma once

#include "ServiceClient.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QTimer>

class GUIManager;
class SupportCounters;

// The unit's health for the depot on B + "/health", retained: the screen, the
// validator's state, the counters since start, the technician and the event log's
// free space. Published when it changes, at most once per interval, and on every
// B + "/health/get". The uptime and the free space are read as the payload is built
// and never cause a publication by themselves, so a resting unit sends nothing.
class HealthReporter : public manager::ServiceClient
{
    Q_OBJECT

public:
    static constexpr int DefaultMinIntervalMillis = 10000;

    HealthReporter(GUIManager& gui, SupportCounters& counters, const QString& base, QObject* parent = nullptr);

    void setMinIntervalMillis(int millis) { m_minInterval = millis; }
    // The payload as it would be published now.
    QJsonObject health() const;

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private slots:
    void onChanged();
    void publishHealth();

private:
    // Everything but the values that drift on their own.
    QJsonObject state() const;

    GUIManager& m_gui;
    SupportCounters& m_counters;
    int m_minInterval = DefaultMinIntervalMillis;
    QElapsedTimer m_lastPublished;
    QJsonObject m_published;
    QTimer m_pending;
};
