#include "RemoteSupport.h"

#include "Config.h"
#include "EventLogResponder.h"
#include "GUIManager.h"
#include "HealthReporter.h"
#include "ScreenshotResponder.h"
#include "SupportCounters.h"

RemoteSupport::RemoteSupport(GUIManager& gui, Config& config, QObject* parent)
    : QObject(parent), m_gui(gui), m_config(config), m_counters(new SupportCounters(gui, this))
{
    connect(&m_config, &Config::configChanged, this, &RemoteSupport::onConfigChanged);
    build();
}

void RemoteSupport::build()
{
    delete m_health;
    delete m_screenshots;
    delete m_events;
    const QString base = m_config.get(QStringLiteral("mqtt/base")).toString();
    m_health = new HealthReporter(m_gui, *m_counters, base, this);
    m_screenshots = new ScreenshotResponder(m_gui, base, this);
    m_events = new EventLogResponder(m_gui.mqtt(), *m_gui.eventLog(), base, this);
}

void RemoteSupport::onConfigChanged(const QVariantMap& changes)
{
    // The panel's own service moves with the base topic; so do these.
    if (changes.contains(QStringLiteral("mqtt/base")))
        build();
}
