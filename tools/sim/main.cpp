#include "CommandQueue.h"
#include "DeviceSimulator.h"
#include "MqttClient.h"
#include "SimValidator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

void writeLine(const QString& line)
{
    // Flushed line by line: whoever reads a pipe (a test, the demo) sees each line at once.
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ticora-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the sibling services of the Ticora front panel (validator with card and barcode readers, board, "
        "inspector, network, device) over MQTT. Commands come from standard input and from a scenario file; "
        "type help for the list."));
    parser.addHelpOption();
    // -v is the verbose switch, as in ticora; -V the version.
    const QCommandLineOption version({ "V", "version" }, "Print version and exit.");
    const QCommandLineOption host({ "H", "host" }, "MQTT broker host (127.0.0.1).", "hostname", "127.0.0.1");
    const QCommandLineOption port({ "P", "port" }, "MQTT broker port (1883).", "port", "1883");
    const QCommandLineOption user({ "u", "username" }, "MQTT user name.", "username");
    const QCommandLineOption password({ "p", "password" }, "MQTT password.", "password");
    const QCommandLineOption scenario({ "s", "scenario" }, "Run the commands of this file after connecting.", "file");
    const QCommandLineOption verbose({ "v", "verbose" }, "Also print every publication (PUB lines) and debug output.");
    const QCommandLineOption samples("samples",
        "Print the sample validations the tap and scan commands play, one \"topic message\" line each, and exit.");
    const SimTopics defaults;
    const QCommandLineOption blm("blm", "Validator base topic (" + defaults.blm + ").", "topic", defaults.blm);
    const QCommandLineOption board("board", "Board base topic (" + defaults.board + ").", "topic", defaults.board);
    const QCommandLineOption inspector("inspector", "Inspector base topic (" + defaults.inspector + ").", "topic",
                                       defaults.inspector);
    const QCommandLineOption network("network", "Network base topic (" + defaults.network + ").", "topic",
                                     defaults.network);
    const QCommandLineOption device("device", "Device base topic (" + defaults.device + ").", "topic", defaults.device);
    const QCommandLineOption ui("ui", "Base topic of the user interface (" + defaults.ui + ").", "topic", defaults.ui);
    parser.addOptions({ version, host, port, user, password, scenario, verbose, samples, blm, board, inspector, network,
        device, ui });
    parser.process(app);
    if (parser.isSet(version)) {
        std::printf("ticora-sim %s\n", TICORA_VERSION);
        return 0;
    }

    if (!parser.isSet(verbose))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber == 0 || portNumber > 65535) {
        std::fprintf(stderr, "ticora-sim: bad port '%s'\n", qPrintable(parser.value(port)));
        return 1;
    }

    QStringList scenarioLines;
    if (parser.isSet(scenario)) {
        QFile file(parser.value(scenario));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            std::fprintf(stderr, "ticora-sim: cannot read scenario '%s': %s\n", qPrintable(file.fileName()),
                         qPrintable(file.errorString()));
            return 1;
        }
        scenarioLines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }

    SimTopics topics;
    topics.blm = parser.value(blm);
    topics.board = parser.value(board);
    topics.inspector = parser.value(inspector);
    topics.network = parser.value(network);
    topics.device = parser.value(device);
    topics.ui = parser.value(ui);

    manager::MqttClient mqtt;
    mqtt.setHostname(parser.value(host));
    mqtt.setPort(portNumber);
    mqtt.setUsername(parser.value(user));
    mqtt.setPassword(parser.value(password));
    mqtt.setClientId(QStringLiteral("ticora-sim_%1").arg(QCoreApplication::applicationPid()));
    // Should the simulator die, the panel learns that its validator is gone. Not
    // retained: a stale "down" must not greet the next start.
    mqtt.setWillTopic(topics.blm + "/status");
    mqtt.setWillMessage(QByteArrayLiteral("{\"service\": false}"));
    mqtt.setWillRetain(false);

    DeviceSimulator sim(mqtt, topics);
    if (parser.isSet(samples)) {
        for (const SimValidator::Sample& s : sim.validator()->samples())
            writeLine(s.topic + QLatin1Char(' ') + QString::fromUtf8(s.payload));
        return 0;
    }
    sim.setEchoPublished(parser.isSet(verbose));
    QObject::connect(&sim, &DeviceSimulator::output, &writeLine);

    CommandQueue scenarioQueue(sim, QStringLiteral("scenario"));
    CommandQueue inputQueue(sim, QStringLiteral("input"));
    QObject::connect(&mqtt, &manager::MqttClient::connected, &app, [&] {
        scenarioQueue.setPaused(false);
        inputQueue.setPaused(false);
    });
    QObject::connect(&mqtt, &manager::MqttClient::disconnected, &app, [&] {
        scenarioQueue.setPaused(true);
        inputQueue.setPaused(true);
    });
    if (!scenarioLines.isEmpty()) {
        QObject::connect(&scenarioQueue, &CommandQueue::drained, &app,
                         [&] { writeLine(QStringLiteral("[Sim] Scenario done")); });
        scenarioQueue.append(scenarioLines);
    }

    bool quitting = false;
    QObject::connect(&sim, &DeviceSimulator::quitRequested, &app, [&] {
        if (quitting)
            return;
        quitting = true;
        writeLine(QStringLiteral("[Sim] Bye"));
        scenarioQueue.setPaused(true);
        inputQueue.setPaused(true);
        // The DISCONNECT is only queued; give it a moment to leave.
        mqtt.disconnect();
        QTimer::singleShot(300, &app, &QCoreApplication::quit);
    });

    // Standard input on the event loop: no reader thread. Started in the background
    // of an interactive shell, reading the terminal would only get the process stopped.
    QByteArray pending;
    QSocketNotifier stdinNotifier(STDIN_FILENO, QSocketNotifier::Read);
    if (::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) != ::getpgrp()) {
        stdinNotifier.setEnabled(false);
        writeLine(QStringLiteral("[Sim] Running in the background: commands only from the scenario file"));
    }
    QObject::connect(&stdinNotifier, &QSocketNotifier::activated, &app, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            // End of input (or /dev/null): keep serving the panel.
            stdinNotifier.setEnabled(false);
            if (!pending.trimmed().isEmpty())
                inputQueue.append(QString::fromUtf8(pending));
            pending.clear();
            return;
        }
        pending.append(buf, int(n));
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            inputQueue.append(QString::fromUtf8(pending.left(nl)));
            pending.remove(0, nl + 1);
        }
    });

    writeLine(QStringLiteral("[Sim] ticora-sim %1, broker %2:%3; type help for the commands")
                  .arg(QCoreApplication::applicationVersion(), parser.value(host))
                  .arg(portNumber));
    mqtt.connect();
    return app.exec();
}
