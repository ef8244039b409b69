#pragma once

#include <QObject>
#include <QVariantMap>

class Config;
class EventLogResponder;
class GUIManager;
class HealthReporter;
class ScreenshotResponder;
class SupportCounters;

// What the depot's support staff reach through the unit's bridge, beside the panel's
// own service on the same base topic: the health, the screen and the event log.
// Nothing listens on the unit; everything answers over the panel's MQTT connection.
class RemoteSupport : public QObject
{
    Q_OBJECT

public:
    RemoteSupport(GUIManager& gui, Config& config, QObject* parent = nullptr);

    SupportCounters* counters() const { return m_counters; }
    HealthReporter* health() const { return m_health; }
    ScreenshotResponder* screenshots() const { return m_screenshots; }
    EventLogResponder* events() const { return m_events; }

private slots:
    void onConfigChanged(const QVariantMap& changes);

private:
    // The responders on the base topic configured now.
    void build();

    GUIManager& m_gui;
    Config& m_config;
    SupportCounters* m_counters;
    HealthReporter* m_health = nullptr;
    ScreenshotResponder* m_screenshots = nullptr;
    EventLogResponder* m_events = nullptr;
};
