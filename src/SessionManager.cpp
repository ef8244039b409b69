#include "SessionManager.h"

#include "Config.h"
#include "SettingsKeys.h"

#include <QDebug>
#include <QTimer>

#define SESSION_LOG(level) level().noquote().nospace() << "[SessionManager] "

SessionManager::SessionManager(Config& config, QObject* parent)
    : QObject(parent)
    , m_config(config)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    // A coarse timer may run up to 5 % over; a session must not outlive its ten minutes.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SessionManager::onExpired);
    // Any change may be a new PIN, and it must work without a restart.
    connect(&m_config, &Config::configChanged, this, &SessionManager::loadUsers);
    loadUsers();
}

int SessionManager::remainingTime() const { return m_timer->remainingTime(); }

void SessionManager::loginRequest(const QString& pin)
{
    SESSION_LOG(qInfo) << "Login requested with PIN";
    // The log ends up in syslog: a nearly right PIN must not be readable there, nor its length.
    SESSION_LOG(qDebug) << "Entered PIN    : ****";

    for (const User& candidate : qAsConst(m_users)) {
        if (candidate.pin != pin)
            continue;
        m_timer->start(m_expiryMillis);
        m_activeUser = candidate;
        SESSION_LOG(qInfo) << "User logged-in : " << candidate.name << ", " << candidate.surname;
        emit accessGranted();
        emit sessionActiveChanged();
        return;
    }
    SESSION_LOG(qWarning) << "WARN: User entered wrong pin";
    emit accessDenied();
}

void SessionManager::logoutRequest()
{
    if (!m_activeUser)
        return;
    SESSION_LOG(qInfo) << "User logged-out : " << m_activeUser->name << ", " << m_activeUser->surname;
    m_timer->stop();
    m_activeUser.reset();
    emit sessionActiveChanged();
}

void SessionManager::resetTimer()
{
    // Without a session the timer would have nothing to end.
    if (m_activeUser)
        m_timer->start();
}

void SessionManager::loadUsers()
{
    m_users.clear();
    // The only user there is; a non-text PIN (an integer from the file or the wire) counts in its text form.
    m_users.append(User { 0, QStringLiteral("VEXA"), QStringLiteral("Admin"),
        m_config.get(manager::keys::SettingsPin).toString() });
    // The session stays open; keep its user in step with the rebuilt record.
    if (m_activeUser) {
        for (const User& u : qAsConst(m_users)) {
            if (u.id == m_activeUser->id)
                m_activeUser = u;
        }
    }
}

void SessionManager::onExpired()
{
    SESSION_LOG(qWarning) << "Session expired";
    logoutRequest();
}
