// ticora-fleet: every unit bridged to the depot broker, one line each (serial number,
// status, version, last seen), refreshed as the units speak; or one configuration
// change sent to one unit.
//
//   ticora-fleet [-H host] [-P port] [-u user -p password] [--prefix fleet]
//   ticora-fleet --once            print the fleet once and exit (for scripts)
//   ticora-fleet --set gui/displayOffMin=5 --unit K12345678

#include "FleetView.h"
#include "Logger.h"
#include "MqttClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

void printLines(const QStringList& lines)
{
    for (const QString& line : lines)
        std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void printTable(const FleetView& view, bool terminal)
{
    if (terminal)
        std::printf("\033[H\033[2J");
    else
        std::printf("\n");
    std::printf("%-16s %-12s %-10s %s\n", "SERIAL", "STATUS", "VERSION", "LAST SEEN");
    printLines(view.lines());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ticora-fleet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The units bridged to the depot broker."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host({ QStringLiteral("H"), QStringLiteral("host") }, QStringLiteral("Depot broker host."),
        QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port({ QStringLiteral("P"), QStringLiteral("port") }, QStringLiteral("Depot broker port."),
        QStringLiteral("port"), QStringLiteral("1883"));
    const QCommandLineOption user(
        { QStringLiteral("u"), QStringLiteral("username") }, QStringLiteral("User name."), QStringLiteral("username"));
    const QCommandLineOption password(
        { QStringLiteral("p"), QStringLiteral("password") }, QStringLiteral("Password."), QStringLiteral("password"));
    const QCommandLineOption prefix(QStringLiteral("prefix"), QStringLiteral("Topic prefix of the bridged units."),
        QStringLiteral("prefix"), QStringLiteral("fleet"));
    const QCommandLineOption once(QStringLiteral("once"), QStringLiteral("Print the fleet once and exit."));
    const QCommandLineOption interval(QStringLiteral("interval"),
        QStringLiteral("Seconds between status requests to every unit (live view)."), QStringLiteral("seconds"),
        QStringLiteral("30"));
    const QCommandLineOption wait(QStringLiteral("wait"),
        QStringLiteral("Seconds to wait for the units' answers (--once, --set)."), QStringLiteral("seconds"),
        QStringLiteral("5"));
    const QCommandLineOption set(QStringLiteral("set"),
        QStringLiteral("Change one setting: group/name=value (\"text\" in quotes stays text)."),
        QStringLiteral("key=value"));
    const QCommandLineOption unit(
        QStringLiteral("unit"), QStringLiteral("Serial number of the unit for --set."), QStringLiteral("serial"));
    const QCommandLineOption debug(
        { QStringLiteral("d"), QStringLiteral("debug") }, QStringLiteral("Log the connection on stderr."));
    parser.addOptions({ host, port, user, password, prefix, once, interval, wait, set, unit, debug });
    parser.process(app);

    manager::Logger* logger = manager::Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(true);
    logger->setLevel(parser.isSet(debug) ? manager::Logger::DEBUG : manager::Logger::ERROR);

    bool portOk = false;
    const unsigned brokerPort = parser.value(port).toUInt(&portOk);
    const int waitMs = parser.value(wait).toInt() * 1000;
    const int intervalMs = parser.value(interval).toInt() * 1000;
    if (!portOk || brokerPort > 65535 || waitMs <= 0 || intervalMs <= 0) {
        std::fprintf(stderr, "ticora-fleet: --port, --wait and --interval take positive numbers\n");
        return 2;
    }

    QJsonObject change;
    const bool setting = parser.isSet(set);
    const QString serial = parser.value(unit);
    if (setting) {
        const QString text = parser.value(set);
        const int eq = text.indexOf(QLatin1Char('='));
        if (serial.isEmpty() || serial.contains(QLatin1Char('/')) || serial.contains(QLatin1Char('+'))
            || serial.contains(QLatin1Char('#')) || eq < 0
            || !FleetView::buildConfigChange(text.left(eq), text.mid(eq + 1), &change)) {
            std::fprintf(stderr, "ticora-fleet: --set group/name=value needs --unit SERIAL\n");
            return 2;
        }
    }

    manager::MqttClient mqtt;
    mqtt.setHostname(parser.value(host));
    mqtt.setPort(brokerPort);
    mqtt.setUsername(parser.value(user));
    mqtt.setPassword(parser.value(password));
    mqtt.setClientId(QStringLiteral("ticora-fleet_%1").arg(QCoreApplication::applicationPid()));
    FleetView view(mqtt, parser.value(prefix));

    // --once and --set end by themselves; this bounds them when units or the broker stay silent.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &app, [&] {
        if (!view.isReady()) {
            std::fprintf(stderr, "ticora-fleet: no answer from the broker at %s:%u\n", qPrintable(parser.value(host)),
                brokerPort);
            app.exit(2);
        } else if (setting) {
            std::fprintf(stderr, "ticora-fleet: %s did not confirm the change\n", qPrintable(serial));
            app.exit(1);
        } else {
            printLines(view.lines());
            app.exit(0);
        }
    });

    if (setting) {
        const QString group = change.keys().constFirst();
        const QJsonObject members = change.value(group).toObject();
        const QString name = members.keys().constFirst();
        const QJsonValue wanted = members.value(name);
        QObject::connect(&view, &FleetView::ready, &app, [&] { view.sendConfigChange(serial, change); });
        QObject::connect(&view, &FleetView::configReceived, &app,
            [&app, serial, group, name, wanted](const QString& from, const QJsonObject& config) {
                if (from != serial)
                    return;
                const QJsonValue now = config.value(group).toObject().value(name);
                // The unit may hold the value as text ("5") or as a number.
                if (now == wanted || now.toVariant().toString() == wanted.toVariant().toString()) {
                    std::printf("%s %s/%s=%s\n", qPrintable(serial), qPrintable(group), qPrintable(name),
                        qPrintable(now.toVariant().toString()));
                    app.exit(0);
                }
            });
        deadline.start(waitMs);
    } else if (parser.isSet(once)) {
        QObject::connect(&view, &FleetView::changed, &app, [&] {
            if (view.isReady() && view.allAnswered()) {
                printLines(view.lines());
                app.exit(0);
            }
        });
        QObject::connect(&view, &FleetView::ready, &app, [&] {
            if (view.units().isEmpty())
                app.exit(0);
        });
        deadline.start(waitMs);
    } else {
        const bool terminal = isatty(STDOUT_FILENO);
        // Redraw at most a few times a second, however busy the fleet.
        QTimer redraw;
        redraw.setSingleShot(true);
        redraw.setInterval(200);
        QObject::connect(&redraw, &QTimer::timeout, &app, [&] { printTable(view, terminal); });
        QObject::connect(&view, &FleetView::changed, &redraw, [&] {
            if (!redraw.isActive())
                redraw.start();
        });
        QObject::connect(&view, &FleetView::ready, &redraw, [&] { redraw.start(); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &view, &FleetView::askAll);
        poll.start(intervalMs);
        view.start();
        mqtt.connect();
        return app.exec();
    }
    view.start();
    mqtt.connect();
    return app.exec();
}
