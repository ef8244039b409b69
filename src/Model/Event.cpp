#include "Event.h"

Event::Event(QObject* parent)
    : QObject(parent)
{
}

Event::Event(const QString& category, const QString& name, const QString& description, const QDateTime& timestamp,
    QObject* parent)
    : QObject(parent)
    , m_category(category)
    , m_name(name)
    , m_description(description)
    , m_timestamp(timestamp)
{
}
