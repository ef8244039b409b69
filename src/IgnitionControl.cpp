#include "IgnitionControl.h"

#include "Board.h"
#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "GuiLog.h"
#include "Inspector.h"
#include "ScreenController.h"
#include "SessionManager.h"
#include "SettingsKeys.h"

#include <QDateTime>

#include <climits>

IgnitionControl::IgnitionControl(Config& config, manager::Board& board, manager::Inspector& inspector,
    SessionManager& session, ScreenController& screens, EventManager& eventLog, QObject* parent)
    : QObject(parent)
    , m_config(config)
    , m_board(board)
    , m_inspector(inspector)
    , m_session(session)
    , m_screens(screens)
    , m_eventLog(eventLog)
{
}

void IgnitionControl::watchBoard()
{
    connect(&m_board, &manager::Board::ignitionChanged, this, &IgnitionControl::onIgnitionChanged);
    connect(&m_board, &manager::Board::delayShutdownForChanged, this, &IgnitionControl::updateBoardShutdownDelay);
}

int IgnitionControl::shutdownDelaySec() const { return m_config.get(manager::keys::ShutdownDelaySec).toInt(); }

void IgnitionControl::updateBoardShutdownDelay()
{
    // The board keeps a whole number of seconds: add in 64 bits and clamp.
    const int target = int(qBound<qint64>(0, qint64(shutdownDelaySec()) + 60, INT_MAX));
    const int current = m_board.delayShutdownFor();
    if (current == target)
        return;
    GUI_LOG(qWarning) << "WARN: Updating board shutdown delay to : " << target << " sec(s) (prev=" << current << ")";
    m_board.setDelayShutdownFor(target);
}

void IgnitionControl::onIgnitionChanged()
{
    const bool on = m_board.ignition();
    m_eventLog.push(new Event(QStringLiteral("Board"),
        on ? QStringLiteral("Ignition on") : QStringLiteral("Ignition off"), QString(), QDateTime::currentDateTime()));
    if (on) {
        m_inspector.abortShutdown();
        m_screens.setIdleScreen();
    } else {
        m_session.logoutRequest();
        m_inspector.scheduleShutdown(shutdownDelaySec());
        m_screens.setScreen(QStringLiteral("ScreenSaver"));
    }
}
