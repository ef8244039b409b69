#include "CommandLine.h"

#include "SettingsKeys.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>

#include <QByteArrayList>

#include <cstdlib>

QVariantMap parseCLIArgs() { return parseCLIArgs(QCoreApplication::arguments(), nullptr); }

namespace {

struct Options {
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print help and exit")};
    const QCommandLineOption version{{QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Print version and exit")};
    const QCommandLineOption verbose{{QStringLiteral("v"), QStringLiteral("verbose")},
                                     QStringLiteral("Set log level: 0=err, 1=warn, 2=info(dfl), 3=dbg"),
                                     QStringLiteral("level")};
    const QCommandLineOption toStderr{{QStringLiteral("e"), QStringLiteral("stderr")},
                                      QStringLiteral("Print messages to stderr, not just syslog")};
    const QCommandLineOption color{{QStringLiteral("c"), QStringLiteral("color")},
                                   QStringLiteral("Print messages in color.")};
    const QCommandLineOption config{{QStringLiteral("f"), QStringLiteral("config")},
                                    QStringLiteral("Set configuration file"), QStringLiteral("filename")};
    const QCommandLineOption host{{QStringLiteral("H"), QStringLiteral("host")},
                                  QStringLiteral("Set mqtt broker url"), QStringLiteral("hostname")};
    const QCommandLineOption port{{QStringLiteral("P"), QStringLiteral("port")},
                                  QStringLiteral("Set mqtt broker port"), QStringLiteral("port")};
    const QCommandLineOption username{{QStringLiteral("u"), QStringLiteral("username")},
                                      QStringLiteral("Set mqtt username"), QStringLiteral("username")};
    const QCommandLineOption password{{QStringLiteral("p"), QStringLiteral("password")},
                                      QStringLiteral("Set mqtt password"), QStringLiteral("password")};

    QList<QCommandLineOption> all() const
    {
        return {help, version, verbose, toStderr, color, config, host, port, username, password};
    }
};

} // namespace

std::vector<char*> withoutGuiOptions(int argc, char** argv)
{
    // What QGuiApplication takes out of argv for itself (Qt 5.15, xcb included);
    // "--name" counts as "-name" there.
    static const QByteArrayList withValue{"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                          "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-display",
                                          "-geometry", "-title", "-icon", "-name", "-session"};
    static const QByteArrayList flags{"-reverse", "-nograb", "-dograb", "-sync"};
    std::vector<char*> kept;
    for (int i = 0; i < argc; ++i) {
        QByteArray arg(argv[i]);
        if (i > 0 && arg.startsWith("--"))
            arg.remove(0, 1);
        if (i > 0 && withValue.contains(arg)) {
            ++i;
            continue;
        }
        if (i > 0 && (flags.contains(arg) || arg.startsWith("-qmljsdebugger=")))
            continue;
        kept.push_back(argv[i]);
    }
    return kept;
}

bool commandLineEndsEarly(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Options o;
    QCommandLineParser parser;
    parser.addOptions(o.all());
    return !parser.parse(arguments) || parser.isSet(o.help) || parser.isSet(o.version);
}

QVariantMap parseCLIArgs(const QStringList& arguments, CommandLineExit* exit)
{
    const Options o;
    const auto& [help, version, verbose, toStderr, color, config, host, port, username, password] = o;
    QCommandLineParser parser;
    parser.addOptions(o.all());

    if (!parser.parse(arguments)) {
        if (exit) {
            *exit = {1, parser.errorText()};
            return {};
        }
        qCritical().noquote().nospace() << "ERROR: " << parser.errorText();
        std::exit(1);
    }
    if (exit && (parser.isSet(help) || parser.isSet(version))) {
        *exit = {0, parser.isSet(help) ? parser.helpText() : QCoreApplication::applicationVersion()};
        return {};
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    QVariantMap overrides;
    if (parser.isSet(verbose)) {
        bool ok = false;
        const int level = parser.value(verbose).toInt(&ok, 10);
        if (ok) {
            qInfo().noquote().nospace() << "Setting Log level : " << level;
            overrides.insert(manager::keys::LogLevel, level);
        }
    }
    if (parser.isSet(toStderr)) {
        qInfo().noquote().nospace() << "Log to stderr overridden from user to true";
        overrides.insert(manager::keys::LogStderr, true);
    }
    if (parser.isSet(color)) {
        qInfo().noquote().nospace() << "Log with color overridden from user to true";
        overrides.insert(manager::keys::LogColor, true);
    }
    if (parser.isSet(host)) {
        qInfo().noquote().nospace() << "Setting MQTT Host : " << parser.value(host);
        overrides.insert(manager::keys::MqttHost, parser.value(host));
    }
    if (parser.isSet(port)) {
        qInfo().noquote().nospace() << "Setting MQTT Port : " << parser.value(port);
        overrides.insert(manager::keys::MqttPort, parser.value(port).toInt(nullptr, 10));
    }
    if (parser.isSet(username)) {
        qInfo().noquote().nospace() << "Setting MQTT User : " << parser.value(username);
        overrides.insert(manager::keys::MqttUsername, parser.value(username));
    }
    if (parser.isSet(password)) // never logged
        overrides.insert(manager::keys::MqttPassword, parser.value(password));
    if (parser.isSet(config)) {
        qInfo().noquote().nospace() << "Using configuration file : " << parser.value(config);
        overrides.insert(QStringLiteral("config"), parser.value(config));
    }
    return overrides;
}
