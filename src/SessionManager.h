#pragma once

#include "User.h"

#include <QList>
#include <QObject>
#include <optional>

class Config;
class QTimer;

// Guards the technician settings area: a PIN opens a session that ends on request
// or by itself after ten minutes.
class SessionManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool sessionActive READ sessionActive NOTIFY sessionActiveChanged)
public:
    static constexpr int DefaultExpiryMillis = 10 * 60 * 1000;

    explicit SessionManager(Config& config, QObject* parent = nullptr);

    bool sessionActive() const { return m_activeUser.has_value(); }
    // A copy, so it stays valid when the user list is rebuilt.
    std::optional<User> user() const { return m_activeUser; }
    int remainingTime() const;
    QList<User> users() const { return m_users; }

    // Lets tests run the expiry without waiting ten minutes.
    void setExpiryInterval(int millis) { m_expiryMillis = millis; }
    int expiryInterval() const { return m_expiryMillis; }

signals:
    void sessionActiveChanged();
    void accessGranted();
    void accessDenied();
    // Declared for the GUI manager; the time-out is reported through sessionActiveChanged.
    void expired();

public slots:
    void loginRequest(const QString& pin);
    void logoutRequest();
    void resetTimer();
    void loadUsers();
    void onExpired();

private:
    Config& m_config;
    QTimer* m_timer;
    std::optional<User> m_activeUser;
    QList<User> m_users;
    int m_expiryMillis = DefaultExpiryMillis;
};
