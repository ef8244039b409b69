// ticora-fleet: every unit bridged to the depot broker, one line each (serial number,
// status, version, last seen, screen, counts, last validation), refreshed as the units
// speak; one configuration change sent to one unit; one unit's screen or event log; or
// the depot's web service (page, JSON, event stream, Prometheus figures).
//
//   ticora-fleet [-H host] [-P port] [-u user -p password] [--prefix fleet]
//   ticora-fleet --once            print the fleet once and exit (for scripts)
//   ticora-fleet --set gui/displayOffMin=5 --unit K12345678
//   ticora-fleet --screenshot K12345678 screen.png
//   ticora-fleet --events K12345678 [--since 2026-12-09T08:00:00+01:00]
//   ticora-fleet --http 127.0.0.1:8080 [--http-token-file /etc/ticora/fleet-token]

#include "FleetView.h"
#include "FleetWeb.h"
#include "Logger.h"
#include "MqttClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
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
    printLines({ FleetView::header() });
    printLines(view.lines());
}

int g_quitPipe = -1;

// SIGTERM (systemd stopping the service) and SIGINT end the event loop, so open streams
// are closed and everything is released in order. The handler only writes to a pipe.
bool quitOnSignals(QCoreApplication& app)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    g_quitPipe = fds[1];
    struct sigaction action
    {
    };
    action.sa_handler = [](int) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_quitPipe, &c, 1);
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        qInfo("Fleet web: stopping");
        app.quit();
    });
    return true;
}

// ADDRESS:PORT, [IPv6]:PORT or a port alone (on loopback).
bool parseListenAddress(const QString& text, QHostAddress* address, quint16* port)
{
    QString host = QStringLiteral("127.0.0.1");
    QString portText = text;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        host = text.left(colon);
        portText = text.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
    }
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    if (!ok || number > 65535 || !address->setAddress(host))
        return false;
    *port = quint16(number);
    return true;
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
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
        QStringLiteral("Fetch one unit's screen as a PNG file; give the file name after the serial number."),
        QStringLiteral("serial"));
    const QCommandLineOption events(QStringLiteral("events"),
        QStringLiteral("Print one unit's recent events, newest first."), QStringLiteral("serial"));
    const QCommandLineOption since(QStringLiteral("since"),
        QStringLiteral("With --events: only events from this time on (ISO 8601)."), QStringLiteral("time"));
    const QCommandLineOption max(QStringLiteral("max"), QStringLiteral("With --events: at most this many (1 to 200)."),
        QStringLiteral("count"), QStringLiteral("200"));
    const QCommandLineOption http(QStringLiteral("http"),
        QStringLiteral("Serve the depot's page, JSON and metrics on ADDRESS:PORT (a port alone: on 127.0.0.1)."),
        QStringLiteral("address:port"));
    const QCommandLineOption tokenFile(QStringLiteral("http-token-file"),
        QStringLiteral("File holding the token that allows configuration changes from the page; without it the page "
                       "is read-only."),
        QStringLiteral("file"));
    const QCommandLineOption debug(
        { QStringLiteral("d"), QStringLiteral("debug") }, QStringLiteral("Log the connection on stderr."));
    parser.addOptions({ host, port, user, password, prefix, once, interval, wait, set, unit, screenshot, events, since,
        max, http, tokenFile, debug });
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("With --screenshot: the PNG file to write."));
    parser.process(app);

    manager::Logger* logger = manager::Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(true);
    const bool serving = parser.isSet(http);
    // The web service logs every configuration change it passes on.
    logger->setLevel(parser.isSet(debug) ? manager::Logger::DEBUG
            : serving                    ? manager::Logger::INFO
                                         : manager::Logger::ERROR);

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

    const QString shotSerial = parser.value(screenshot);
    const QString shotFile = parser.positionalArguments().value(0);
    if (parser.isSet(screenshot)
        && (!FleetView::isValidSerial(shotSerial) || shotFile.isEmpty() || parser.positionalArguments().size() != 1)) {
        std::fprintf(stderr, "ticora-fleet: --screenshot SERIAL FILE.png\n");
        return 2;
    }
    const QString eventSerial = parser.value(events);
    bool maxOk = false;
    const int maxEvents = parser.value(max).toInt(&maxOk);
    if (parser.isSet(events)
        && (!FleetView::isValidSerial(eventSerial) || !maxOk || maxEvents < 1 || maxEvents > FleetView::kMaxEvents
            || (parser.isSet(since) && !QDateTime::fromString(parser.value(since), Qt::ISODate).isValid()))) {
        std::fprintf(stderr, "ticora-fleet: --events SERIAL [--since ISO-8601-TIME] [--max 1..200]\n");
        return 2;
    }
    QHostAddress httpAddress;
    quint16 httpPort = 0;
    if (serving && !parseListenAddress(parser.value(http), &httpAddress, &httpPort)) {
        std::fprintf(stderr, "ticora-fleet: --http takes ADDRESS:PORT, for example 127.0.0.1:8080\n");
        return 2;
    }
    // The service takes the token from its environment file, which only root reads.
    QByteArray token = qgetenv("TICORA_FLEET_TOKEN").trimmed();
    if (!token.isEmpty() && token.size() < 16) {
        std::fprintf(stderr, "ticora-fleet: TICORA_FLEET_TOKEN is shorter than 16 characters\n");
        return 2;
    }
    if (parser.isSet(tokenFile)) {
        QFile f(parser.value(tokenFile));
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "ticora-fleet: cannot read the token file %s\n", qPrintable(parser.value(tokenFile)));
            return 2;
        }
        token = f.read(4096).trimmed();
        if (token.size() < 16) {
            std::fprintf(stderr, "ticora-fleet: the token in %s is shorter than 16 characters\n",
                qPrintable(parser.value(tokenFile)));
            return 2;
        }
    }

    // A service keeps its login out of the process list: in its environment file.
    const QString login = parser.isSet(user) ? parser.value(user) : qEnvironmentVariable("TICORA_FLEET_USER");
    const QString secret
        = parser.isSet(password) ? parser.value(password) : qEnvironmentVariable("TICORA_FLEET_PASSWORD");

    manager::MqttClient mqtt;
    mqtt.setHostname(parser.value(host));
    mqtt.setPort(brokerPort);
    mqtt.setUsername(login);
    mqtt.setPassword(secret);
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
        } else if (parser.isSet(screenshot) || parser.isSet(events)) {
            std::fprintf(stderr, "ticora-fleet: %s did not answer\n",
                qPrintable(parser.isSet(screenshot) ? shotSerial : eventSerial));
            app.exit(1);
        } else {
            printLines(view.lines());
            app.exit(0);
        }
    });

    // A request to one unit goes out once the depot's units are known; a serial that is
    // not among them ends the run.
    const auto askOnceReady = [&](const QString& unit, const std::function<void()>& ask) {
        QObject::connect(&view, &FleetView::ready, &app, [&view, &app, unit, ask] {
            if (!view.units().contains(unit)) {
                std::fprintf(stderr, "ticora-fleet: no unit %s at the depot\n", qPrintable(unit));
                app.exit(1);
            } else {
                ask();
            }
        });
    };

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
    } else if (parser.isSet(screenshot)) {
        askOnceReady(shotSerial, [&] { view.requestScreenshot(shotSerial); });
        QObject::connect(&view, &FleetView::screenshotReceived, &app, [&](const QString& from, const QByteArray& png) {
            if (from != shotSerial)
                return;
            QSaveFile out(shotFile);
            if (!out.open(QIODevice::WriteOnly) || out.write(png) != png.size() || !out.commit()) {
                std::fprintf(stderr, "ticora-fleet: cannot write %s\n", qPrintable(shotFile));
                app.exit(1);
                return;
            }
            std::printf("%s %s %d bytes\n", qPrintable(shotSerial), qPrintable(shotFile), int(png.size()));
            app.exit(0);
        });
        QObject::connect(&view, &FleetView::screenshotRefused, &app, [&](const QString& from, const QString& why) {
            if (from != shotSerial)
                return;
            std::fprintf(stderr, "ticora-fleet: %s refused: %s\n", qPrintable(shotSerial), qPrintable(why));
            app.exit(1);
        });
        deadline.start(waitMs);
    } else if (parser.isSet(events)) {
        askOnceReady(eventSerial, [&] { view.requestEvents(eventSerial, parser.value(since), maxEvents); });
        QObject::connect(&view, &FleetView::eventsReceived, &app, [&](const QString& from, const QJsonArray& list) {
            if (from != eventSerial)
                return;
            QStringList out;
            for (const QJsonValue& v : list) {
                const QJsonObject e = v.toObject();
                out << QStringLiteral("%1 %2 %3 %4")
                           .arg(e.value(QStringLiteral("time")).toString(), -25)
                           .arg(e.value(QStringLiteral("category")).toString(), -12)
                           .arg(e.value(QStringLiteral("name")).toString(), -20)
                           .arg(e.value(QStringLiteral("description")).toString());
            }
            printLines(out);
            app.exit(0);
        });
        deadline.start(waitMs);
    } else if (serving) {
        const auto web = std::make_unique<FleetWeb>(view, mqtt, token);
        if (!web->listen(httpAddress, httpPort)) {
            std::fprintf(stderr, "ticora-fleet: cannot listen on %s\n", qPrintable(parser.value(http)));
            return 2;
        }
        const QString shown = httpAddress.protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(httpAddress.toString())
            : httpAddress.toString();
        std::printf("ticora-fleet: serving http://%s:%u/%s\n", qPrintable(shown), unsigned(web->port()),
            token.isEmpty() ? " (read-only)" : "");
        std::fflush(stdout);
        quitOnSignals(app);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &view, &FleetView::askAll);
        poll.start(intervalMs);
        view.start();
        mqtt.connect();
        return app.exec();
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
