#pragma once

#include <QObject>
#include <QStringList>

class DeviceSimulator;
class QTimer;

// Feeds command lines to the simulator in order. "wait <ms>" pauses the stream
// without blocking the event loop; while paused (not connected to the broker yet)
// lines are kept, since their publications would be lost.
class CommandQueue : public QObject
{
    Q_OBJECT
public:
    CommandQueue(DeviceSimulator& sim, const QString& name, QObject* parent = nullptr);

    void append(const QString& line);
    void append(const QStringList& lines);
    void setPaused(bool paused);
    bool isIdle() const { return m_lines.isEmpty() && !m_waiting; }
    int failures() const { return m_failures; }

signals:
    // The last queued line has run.
    void drained();

private:
    void schedule();
    void runNext();

    DeviceSimulator& m_sim;
    const QString m_name;
    QStringList m_lines;
    QTimer* m_wait = nullptr;
    bool m_waiting = false;
    bool m_paused = true;
    bool m_scheduled = false;
    int m_failures = 0;
};
