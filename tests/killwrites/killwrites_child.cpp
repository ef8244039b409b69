// Writes one of the program's files over and over, printing "ack N" once write N
// has returned, until it is killed:
//   killwrites_child events <events file> <first N> <count>
//   killwrites_child settings <settings file> <first N> <count>
#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "SettingsKeys.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    const QString mode = args.at(1);
    const QString path = args.at(2);
    const int first = args.at(3).toInt();
    const int count = args.at(4).toInt();
    auto ack = [](int n) {
        std::printf("ack %d\n", n);
        std::fflush(stdout);
    };

    if (mode == QLatin1String("events")) {
        Config config(QFileInfo(path).dir().filePath(QStringLiteral("child.conf")), manager::keys::defaults());
        EventManager log(config, path);
        for (int n = first; n < first + count; ++n) {
            log.push(new Event(QStringLiteral("General"), QStringLiteral("e%1").arg(n), QStringLiteral("kill test"),
                QDateTime::currentDateTime()));
            ack(n);
        }
    } else if (mode == QLatin1String("settings")) {
        Config config(path, manager::keys::defaults());
        for (int n = first; n < first + count; ++n) {
            config.set(QStringLiteral("gui/displayOffMin"), n);
            config.set(QStringLiteral("gui/screenSaverImg"), QStringLiteral("/img/%1.png").arg(n));
            ack(n);
        }
    } else {
        return 2;
    }
    // Done before the kill came: wait for it.
    for (;;)
        QThread::sleep(1);
}
