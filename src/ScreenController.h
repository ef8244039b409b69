#pragma once

#include <QObject>
#include <QString>

class Config;
class DeviceIdStore;
class SessionManager;
class Transaction;
class QTimer;

namespace manager {
class Board;
class Validator;
} // namespace manager

// Which screen is shown and for how long: the idle rule, the screen time-out, and
// the display that goes dark on an out-of-order or out-of-service screen. Holds the
// busy and out-of-order message the screens show with it.
class ScreenController : public QObject
{
    Q_OBJECT
public:
    ScreenController(Config& config, const DeviceIdStore& deviceId, SessionManager& session,
        manager::Validator& validator, manager::Board& board, QObject* parent = nullptr);

    QString screen() const { return m_screen; }
    QString message() const { return m_message; }

    void setScreen(const QString& value);
    // Shown for the given milliseconds, then the idle rule decides.
    void setScreen(const QString& value, int timeout);
    void setMessage(const QString& text);
    void setIdleScreen();
    void setOutOfOrderScreen(const QString& message);
    // The passenger's answer to a card or ticket, for 3000 ms.
    void showOutcome(const Transaction& transaction);
    void showRetry();
    // The validator's reason code, and its description when configured.
    QString validatorReason() const;

    // From here on every screen change also switches the display on, or starts its
    // off timer; the start-up screen does not.
    void watchDisplay();
    // From here on the validator's status and reason lead the idle screen.
    void followValidator();

signals:
    void screenChanged();
    void messageChanged();

private:
    void onScreenTimeout();
    void onScreenChanged();
    void onDisplayOffTimeout();
    void onValidatorStatusChanged();
    void onValidatorReasonChanged();

    Config& m_config;
    const DeviceIdStore& m_deviceId;
    SessionManager& m_session;
    manager::Validator& m_validator;
    manager::Board& m_board;
    QTimer* m_screenTimer;
    QTimer* m_displayOffTimer;
    QString m_screen;
    QString m_message;
};
