#include "EventLogResponder.h"

#include "Event.h"
#include "EventManager.h"
#include "SupportCounters.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#define EVENTS_LOG(level) level().noquote().nospace() << "[Events] "

EventLogResponder::EventLogResponder(
    manager::MqttClient& mqtt, EventManager& log, const QString& base, QObject* parent)
    : ServiceClient(mqtt, base, QStringLiteral("[Events] "), parent), m_log(log)
{
    subscribe(topic("/events/get"));
}

QJsonArray EventLogResponder::entries(const QDateTime& since, int max) const
{
    QList<Event*> events = m_log.events();
    // Stored oldest first; a clock set back leaves entries out of order, so sort by time.
    std::reverse(events.begin(), events.end());
    std::stable_sort(events.begin(), events.end(),
        [](const Event* a, const Event* b) { return a->timestamp() > b->timestamp(); });
    QJsonArray array;
    for (const Event* event : qAsConst(events)) {
        if (array.size() >= max)
            break;
        if (since.isValid() && event->timestamp() < since)
            break;
        array.append(QJsonObject { { QStringLiteral("category"), event->category() },
            { QStringLiteral("name"), event->name() }, { QStringLiteral("description"), event->description() },
            { QStringLiteral("time"), isoWithOffset(event->timestamp()) } });
    }
    return array;
}

void EventLogResponder::dispatch(const QString& t, const QJsonObject& object)
{
    if (t != topic("/events/get"))
        return;
    QDateTime since;
    const QJsonValue sinceValue = object.value(QLatin1String("since"));
    if (!sinceValue.isUndefined()) {
        since = QDateTime::fromString(sinceValue.toString(), Qt::ISODate);
        if (!since.isValid())
            EVENTS_LOG(qWarning) << "WARN: Ignoring a 'since' that is no ISO 8601 time : "
                                 << QString::fromUtf8(QJsonDocument(QJsonObject { { QStringLiteral("since"), sinceValue } })
                                                          .toJson(QJsonDocument::Compact))
                                        .left(120);
    }
    int max = MaxPerMessage;
    const QJsonValue maxValue = object.value(QLatin1String("max"));
    if (maxValue.isDouble())
        max = int(qBound(1.0, maxValue.toDouble(), double(MaxPerMessage)));
    else if (!maxValue.isUndefined())
        EVENTS_LOG(qWarning) << "WARN: Ignoring a 'max' that is no number";
    const QJsonArray array = entries(since, max);
    publishJson(topic("/events"), QJsonObject { { QStringLiteral("events"), array } });
    EVENTS_LOG(qInfo) << "Event log sent : " << array.size() << " entries";
}
