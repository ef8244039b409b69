#include "SessionEvents.h"

#include "Event.h"
#include "User.h"

#include <QDateTime>

Event* sessionEvent(bool loggedIn, const User& user)
{
    const QString now = QDateTime::currentDateTime().toString();
    if (!loggedIn)
        return new EventLogout(QStringLiteral("General"), QStringLiteral("Maintenance logout"),
            QStringLiteral("Date : %4").arg(now), QDateTime::currentDateTime());
    const QString description = QStringLiteral("User ID : %1\nFirst name : %2\nLast name : %3\nDate : %4")
                                    .arg(user.id)
                                    .arg(user.name, user.surname, now);
    return new EventLogin(
        QStringLiteral("General"), QStringLiteral("Maintenance login"), description, QDateTime::currentDateTime());
}
