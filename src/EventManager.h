#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class Config;
class QTimer;
class Event;

// The device's event history: at most about a thousand entries, none older than thirty
// days at start-up, kept in an INI file beside the program and rewritten after every
// change. QML sees a filtered, newest-first list as `data`.
class EventManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<QObject*> data READ data NOTIFY dataChanged)
public:
    static constexpr int MaxLoaded = 1000;
    static constexpr int PruneDays = 30;
    // After a failed write (a full storage card) the file is written again this often,
    // until it succeeds; the entries stay in memory meanwhile.
    static constexpr int RetryMillis = 5000;

    // "events.ini" in the directory of the executable.
    static QString defaultFileName();

    explicit EventManager(Config& config, QObject* parent = nullptr);
    EventManager(Config& config, const QString& fileName, QObject* parent = nullptr);
    ~EventManager() override;

    QString fileName() const { return m_fileName; }
    // Every entry, oldest first, as stored.
    QList<Event*> events() const { return m_events; }
    QString nameFilter() const { return m_nameFilter; }
    int severityFilter() const { return m_severity; }
    QDateTime rangeStart() const { return m_from; }
    QDateTime rangeEnd() const { return m_to; }

    // Lets tests fix "now" for the period filters.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

signals:
    void dataChanged();

public slots:
    void push(Event* event);
    void clear(const QDateTime& before);
    void clear();
    void applyFilter(const QString& name);
    void applyFilter(int severity);
    void applyFilter(const QDateTime& from, const QDateTime& to);
    void applyFilterPeriod(const QString& period);
    QList<QObject*> data() const { return m_visible; }

private:
    void load();
    // A retry that fails again says nothing: the failure was reported when it began.
    bool save(bool retry = false);
    void rebuild();
    void adopt(Event* event);
    void dispose(Event* event);
    QDateTime now() const;

    Config& m_config;
    QString m_fileName;
    int m_severity = 0;
    QList<Event*> m_events;
    QList<QObject*> m_visible;
    QString m_nameFilter;
    QDateTime m_from;
    QDateTime m_to;
    std::function<QDateTime()> m_now;
    QTimer* m_retry;
};
