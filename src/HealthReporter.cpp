#include "HealthReporter.h"

#include "EventManager.h"
#include "GUIManager.h"
#include "MqttClient.h"
#include "SessionManager.h"
#include "SupportCounters.h"
#include "Validator.h"

#include <QDebug>
#include <QFileInfo>
#include <QStorageInfo>

#define HEALTH_LOG(level) level().noquote().nospace() << "[Health] "

HealthReporter::HealthReporter(GUIManager& gui, SupportCounters& counters, const QString& base, QObject* parent)
    : ServiceClient(gui.mqtt(), base, QStringLiteral("[Health] "), parent), m_gui(gui), m_counters(counters)
{
    m_pending.setSingleShot(true);
    connect(&m_pending, &QTimer::timeout, this, &HealthReporter::publishHealth);

    connect(&gui, &GUIManager::screenChanged, this, &HealthReporter::onChanged);
    connect(gui.validator(), &manager::Validator::statusChanged, this, &HealthReporter::onChanged);
    connect(gui.validator(), &manager::Validator::reasonChanged, this, &HealthReporter::onChanged);
    connect(gui.session(), &SessionManager::sessionActiveChanged, this, &HealthReporter::onChanged);
    for (auto signal : { &SupportCounters::validChanged, &SupportCounters::alreadyValidChanged,
             &SupportCounters::refusedChanged, &SupportCounters::retryChanged, &SupportCounters::lastValidationChanged,
             &SupportCounters::mqttReconnectsChanged })
        connect(&counters, signal, this, &HealthReporter::onChanged);
    // A retained message is kept by the broker: after a reconnection it is sent again
    // only when it changed meanwhile (the reconnection count always does).
    connect(&m_mqtt, &manager::MqttClient::connected, this, &HealthReporter::onChanged);

    subscribe(topic("/health/get"));
    if (m_mqtt.state() == manager::MqttClient::ClientState::Connected)
        onChanged();
}

QJsonObject HealthReporter::state() const
{
    manager::Validator* validator = m_gui.validator();
    return QJsonObject {
        { QStringLiteral("screen"), m_gui.screen() },
        { QStringLiteral("validatorStatus"), validator->status() },
        { QStringLiteral("validatorReason"), validator->reasonCode() },
        { QStringLiteral("counts"),
            QJsonObject { { QStringLiteral("valid"), m_counters.valid() },
                { QStringLiteral("alreadyValid"), m_counters.alreadyValid() },
                { QStringLiteral("refused"), m_counters.refused() }, { QStringLiteral("retry"), m_counters.retry() } } },
        { QStringLiteral("lastValidation"), isoWithOffset(m_counters.lastValidation()) },
        { QStringLiteral("technician"), m_gui.session()->sessionActive() },
        { QStringLiteral("mqttReconnects"), m_counters.mqttReconnects() },
    };
}

QJsonObject HealthReporter::health() const
{
    QJsonObject object = state();
    object.insert(QStringLiteral("uptimeSec"), double(m_counters.uptimeSec()));
    const QStorageInfo storage(QFileInfo(m_gui.eventLog()->fileName()).absolutePath());
    // -1 when the folder cannot be examined; a depot reads that as "unknown".
    object.insert(
        QStringLiteral("eventLogFreeBytes"), storage.isValid() ? double(storage.bytesAvailable()) : double(-1));
    return object;
}

void HealthReporter::onChanged()
{
    if (m_pending.isActive())
        return;
    if (state() == m_published && m_mqtt.state() == manager::MqttClient::ClientState::Connected
        && m_lastPublished.isValid())
        return;
    const qint64 since = m_lastPublished.isValid() ? m_lastPublished.elapsed() : qint64(m_minInterval);
    if (since >= m_minInterval)
        publishHealth();
    else
        m_pending.start(int(m_minInterval - since));
}

void HealthReporter::publishHealth()
{
    m_pending.stop();
    const QJsonObject object = health();
    if (!m_mqtt.publish(toIndentedJson(object), topic("/health"), 0, true))
        return;
    m_published = state();
    m_lastPublished.start();
}

void HealthReporter::dispatch(const QString& t, const QJsonObject&)
{
    if (t != topic("/health/get"))
        return;
    HEALTH_LOG(qInfo) << "Health requested";
    publishHealth();
}
