#include "ScreenController.h"

#include "Board.h"
#include "Config.h"
#include "DeviceIdStore.h"
#include "GuiLog.h"
#include "SessionManager.h"
#include "SettingsKeys.h"
#include "Transaction.h"
#include "Validator.h"

#include <QCoreApplication>
#include <QTimer>

#include <climits>

ScreenController::ScreenController(Config& config, const DeviceIdStore& deviceId, SessionManager& session,
    manager::Validator& validator, manager::Board& board, QObject* parent)
    : QObject(parent)
    , m_config(config)
    , m_deviceId(deviceId)
    , m_session(session)
    , m_validator(validator)
    , m_board(board)
    , m_screenTimer(new QTimer(this))
    , m_displayOffTimer(new QTimer(this))
{
    // Screen time-outs are given to the millisecond; a coarse timer ends them early.
    m_screenTimer->setTimerType(Qt::PreciseTimer);
    m_displayOffTimer->setTimerType(Qt::PreciseTimer);
    connect(m_screenTimer, &QTimer::timeout, this, &ScreenController::onScreenTimeout);
}

void ScreenController::watchDisplay()
{
    connect(m_displayOffTimer, &QTimer::timeout, this, &ScreenController::onDisplayOffTimeout);
    connect(this, &ScreenController::screenChanged, this, &ScreenController::onScreenChanged);
}

void ScreenController::followValidator()
{
    connect(&m_validator, &manager::Validator::statusChanged, this, &ScreenController::onValidatorStatusChanged);
    connect(&m_validator, &manager::Validator::reasonChanged, this, &ScreenController::onValidatorReasonChanged);
}

void ScreenController::onValidatorStatusChanged()
{
    GUI_LOG(qInfo) << "Validator status changed : " << m_validator.status();
    setIdleScreen();
}

void ScreenController::onValidatorReasonChanged()
{
    GUI_LOG(qWarning) << "Validator reason changed : " << m_validator.reasonCode() << " " << m_validator.reason();
    if (m_validator.status() != QLatin1String("init"))
        setMessage(validatorReason());
}

void ScreenController::setScreen(const QString& value)
{
    if (value == m_screen)
        return;
    GUI_LOG(qInfo) << "Setting screen : " << value;
    m_screen = value;
    m_screenTimer->stop();
    emit screenChanged();
}

void ScreenController::setScreen(const QString& value, int timeout)
{
    GUI_LOG(qInfo) << "Setting screen : " << value << " (timeout=" << timeout << " msec)";
    m_screenTimer->setSingleShot(true);
    m_screenTimer->start(timeout);
    m_screen = value;
    emit screenChanged();
}

void ScreenController::setMessage(const QString& text)
{
    if (text == m_message)
        return;
    m_message = text;
    emit messageChanged();
}

void ScreenController::onScreenTimeout()
{
    GUI_LOG(qInfo) << "Screen timeout : " << m_screen;
    setIdleScreen();
}

void ScreenController::setIdleScreen()
{
    m_screenTimer->stop();
    if (m_deviceId.id().isEmpty()) {
        setScreen(QStringLiteral("InitPage"));
        return;
    }
    if (m_session.sessionActive())
        return;
    const QString status = m_validator.status();
    if (status == QLatin1String("init")) {
        setScreen(QStringLiteral("Busy"));
        // Translated in the GUI manager's context, where the catalogue has it.
        setMessage(QCoreApplication::translate("GUIManager", "Please Wait"));
    } else if (status == QLatin1String("out-of-service")) {
        setScreen(QStringLiteral("OutOfService"));
        m_validator.disableRfid();
        m_validator.disableBarcode();
    } else if (status == QLatin1String("online") || status == QLatin1String("degraded")) {
        m_validator.enableRfid();
        m_validator.enableBarcode();
        setScreen(QStringLiteral("ScanScreens"));
    } else {
        setOutOfOrderScreen(validatorReason());
        m_validator.disableRfid();
        m_validator.disableBarcode();
    }
}

void ScreenController::setOutOfOrderScreen(const QString& message)
{
    if (m_screen == QLatin1String("Login") || !m_board.ignition() || m_session.sessionActive())
        return;
    setScreen(QStringLiteral("OutOfOrder"));
    setMessage(message);
}

void ScreenController::showOutcome(const Transaction& transaction)
{
    if (transaction.valid())
        setScreen(QStringLiteral("Valid"), 3000);
    else if (transaction.denyReasonId() == 103 || transaction.denyReasonId() == 207)
        setScreen(QStringLiteral("AlreadyValid"), 3000);
    else
        setScreen(QStringLiteral("Invalid"), 3000);
}

void ScreenController::showRetry() { setScreen(QStringLiteral("Retry"), 3000); }

QString ScreenController::validatorReason() const
{
    QString text = m_validator.reasonCode();
    if (m_config.get(manager::keys::ShowErrorDesc).toBool())
        text += QLatin1Char('\n') + m_validator.reason();
    return text;
}

void ScreenController::onScreenChanged()
{
    const int minutes = m_config.get(manager::keys::DisplayOffMin).toInt();
    if (minutes <= 0)
        return;
    if (m_screen == QLatin1String("OutOfOrder") || m_screen == QLatin1String("OutOfService")) {
        GUI_LOG(qInfo) << "Staring Display OFF timer : " << minutes << " min(s)";
        m_displayOffTimer->setSingleShot(true);
        // In 64 bits: a large setting would wrap to a negative interval and the
        // display would never go off. The timer holds at most INT_MAX ms (~24 days).
        m_displayOffTimer->start(int(qMin<qint64>(qint64(minutes) * 60000, INT_MAX)));
        return;
    }
    if (m_displayOffTimer->isActive()) {
        GUI_LOG(qInfo) << "Stopping Display OFF timer.";
        m_displayOffTimer->stop();
    }
    if (!m_board.peripheralPower(QStringLiteral("display"))) {
        GUI_LOG(qInfo) << "Turning on Display.";
        m_board.setPeripheralPower(QStringLiteral("display"), true);
    }
}

void ScreenController::onDisplayOffTimeout()
{
    GUI_LOG(qWarning) << "WARN: Turning off Display due to inactivity.";
    m_board.setPeripheralPower(QStringLiteral("display"), false);
}
