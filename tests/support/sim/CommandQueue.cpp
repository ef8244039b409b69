#include "CommandQueue.h"

#include "DeviceSimulator.h"

#include <QRegularExpression>
#include <QTimer>

CommandQueue::CommandQueue(DeviceSimulator& sim, const QString& name, QObject* parent)
    : QObject(parent), m_sim(sim), m_name(name)
{
    m_wait = new QTimer(this);
    m_wait->setSingleShot(true);
    connect(m_wait, &QTimer::timeout, this, [this] {
        m_waiting = false;
        schedule();
    });
}

void CommandQueue::append(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return;
    m_lines.append(trimmed);
    schedule();
}

void CommandQueue::append(const QStringList& lines)
{
    for (const QString& l : lines)
        append(l);
}

void CommandQueue::setPaused(bool paused)
{
    m_paused = paused;
    schedule();
}

void CommandQueue::schedule()
{
    // Always from the event loop: a command may be appended from inside another
    // command's output handler.
    if (m_scheduled || m_paused || m_waiting || m_lines.isEmpty())
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &CommandQueue::runNext);
}

void CommandQueue::runNext()
{
    m_scheduled = false;
    while (!m_paused && !m_waiting && !m_lines.isEmpty()) {
        const QString line = m_lines.takeFirst();
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (words.first().compare(QLatin1String("wait"), Qt::CaseInsensitive) == 0) {
            bool ok = words.size() == 2;
            const int ms = ok ? words.at(1).toInt(&ok) : 0;
            if (!ok || ms < 0) {
                ++m_failures;
                emit m_sim.output(QStringLiteral("[Sim] ") + m_name + QStringLiteral(": bad wait '") + line
                                  + QStringLiteral("'"));
                continue;
            }
            emit m_sim.output(QStringLiteral("CMD ") + line);
            m_waiting = true;
            m_wait->start(ms);
            return;
        }
        if (!m_sim.execute(line))
            ++m_failures;
    }
    if (isIdle())
        emit drained();
}
