#pragma once

#include <QObject>

class Config;
class EventManager;
class ScreenController;
class SessionManager;

namespace manager {
class Board;
class Inspector;
} // namespace manager

// What the ignition switch does: off logs the technician out, schedules the shutdown
// and shows the screen saver; on cancels it. Keeps the board's own shutdown delay a
// minute beyond the configured one, so the system goes down before the board cuts
// the power.
class IgnitionControl : public QObject
{
    Q_OBJECT
public:
    IgnitionControl(Config& config, manager::Board& board, manager::Inspector& inspector, SessionManager& session,
        ScreenController& screens, EventManager& eventLog, QObject* parent = nullptr);

    // Follows the board from here on.
    void watchBoard();
    void updateBoardShutdownDelay();

private:
    void onIgnitionChanged();
    int shutdownDelaySec() const;

    Config& m_config;
    manager::Board& m_board;
    manager::Inspector& m_inspector;
    SessionManager& m_session;
    ScreenController& m_screens;
    EventManager& m_eventLog;
};
