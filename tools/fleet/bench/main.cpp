// ticora-fleet-bench: plays N units at a depot broker with the traffic their bridges
// carry (retained info, status and configuration, health every 10 s; no panels), then
// measures a running `ticora-fleet --http`: its CPU and memory while the traffic flows,
// the time for /api/units, /metrics and the page, and the time from a status change at
// the broker to the unit's event on the stream. Prints one line of figures.
//
//   ticora-fleet-bench --broker-port 1883 --http-port 8080 --fleet-pid PID --units 1000

#include "Logger.h"
#include "MqttClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

QString serialOf(int i) { return QStringLiteral("B%1").arg(i, 8, 10, QLatin1Char('0')); }

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QTimer tick; // wakes the loop so the condition is looked at often
    tick.start(2);
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// One request on its own connection (HTTP/1.0: the body ends with the connection);
// milliseconds, and the body.
double get(quint16 port, const QByteArray& path, QByteArray* body = nullptr)
{
    QTcpSocket s;
    QByteArray all;
    QElapsedTimer t;
    t.start();
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    QObject::connect(
        &s, &QTcpSocket::connected, [&] { s.write("GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"); });
    QObject::connect(&s, &QTcpSocket::readyRead, [&] { all += s.readAll(); });
    bool closed = false;
    QObject::connect(&s, &QTcpSocket::disconnected, [&] { closed = true; });
    QObject::connect(&s, &QAbstractSocket::errorOccurred, [&] { closed = true; });
    waitUntil([&] { return closed; }, 60000);
    const double ms = t.nsecsElapsed() / 1e6;
    if (body)
        *body = all.mid(all.indexOf("\r\n\r\n") + 4);
    return ms;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

struct Usage
{
    double cpuSeconds = 0;
    double rssMb = 0;
    double peakMb = 0;
};

Usage usage(qint64 pid)
{
    Usage u;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 13)
            u.cpuSeconds = (f.at(11).toDouble() + f.at(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            const QList<QByteArray> w = line.simplified().split(' ');
            if (w.size() >= 2 && w.at(0) == "VmRSS:")
                u.rssMb = w.at(1).toDouble() / 1024;
            if (w.size() >= 2 && w.at(0) == "VmHWM:")
                u.peakMb = w.at(1).toDouble() / 1024;
        }
    }
    return u;
}

QByteArray health(int i, int round)
{
    const QJsonObject counts { { QStringLiteral("valid"), round * (i % 7) },
        { QStringLiteral("alreadyValid"), round % 3 }, { QStringLiteral("refused"), round / 4 },
        { QStringLiteral("retry"), 0 } };
    return QJsonDocument(
        QJsonObject { { QStringLiteral("screen"), QStringLiteral("ScanScreens") },
            { QStringLiteral("validatorStatus"), QStringLiteral("online") },
            { QStringLiteral("validatorReason"), QString() }, { QStringLiteral("uptimeSec"), 600 + round * 10 },
            { QStringLiteral("counts"), counts },
            { QStringLiteral("lastValidation"), QStringLiteral("2026-12-09T19:30:00+01:00") },
            { QStringLiteral("technician"), false }, { QStringLiteral("eventLogFreeBytes"), 123456789 },
            { QStringLiteral("mqttReconnects"), 0 } })
        .toJson(QJsonDocument::Indented);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption brokerPort(QStringLiteral("broker-port"), QStringLiteral("Depot broker port."),
        QStringLiteral("port"), QStringLiteral("1883"));
    const QCommandLineOption httpPort(
        QStringLiteral("http-port"), QStringLiteral("ticora-fleet's HTTP port."), QStringLiteral("port"));
    const QCommandLineOption fleetPid(
        QStringLiteral("fleet-pid"), QStringLiteral("ticora-fleet's process id."), QStringLiteral("pid"));
    const QCommandLineOption units(
        QStringLiteral("units"), QStringLiteral("Units to play."), QStringLiteral("n"), QStringLiteral("100"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
        QStringLiteral("Seconds of steady traffic over which the CPU is measured."), QStringLiteral("s"),
        QStringLiteral("30"));
    parser.addOptions({ brokerPort, httpPort, fleetPid, units, seconds });
    parser.process(app);
    manager::Logger* logger = manager::Logger::instance();
    logger->setSyslog(false);
    logger->setStderr(true);
    logger->setLevel(manager::Logger::ERROR);
    const int n = parser.value(units).toInt();
    const quint16 http = quint16(parser.value(httpPort).toUInt());
    const qint64 pid = parser.value(fleetPid).toLongLong();
    const int steadySeconds = parser.value(seconds).toInt();
    if (n <= 0 || http == 0 || pid <= 0 || steadySeconds <= 0) {
        std::fprintf(stderr, "ticora-fleet-bench: --units, --http-port, --fleet-pid and --seconds are needed\n");
        return 2;
    }

    manager::MqttClient mqtt;
    mqtt.setPort(parser.value(brokerPort).toUInt());
    mqtt.setClientId(QStringLiteral("ticora-fleet-bench_%1").arg(QCoreApplication::applicationPid()));
    bool connected = false;
    QObject::connect(&mqtt, &manager::MqttClient::connected, [&] { connected = true; });
    mqtt.connect();
    if (!waitUntil([&] { return connected; }, 20000)) {
        std::fprintf(stderr, "ticora-fleet-bench: no broker\n");
        return 1;
    }
    const QByteArray info = QByteArrayLiteral("{\n    \"version\": \"1.0.21\"\n}\n");
    const QByteArray running = QByteArrayLiteral("{\n    \"service\": true,\n    \"technician\": false\n}\n");
    const QByteArray config = QByteArrayLiteral(
        "{\n    \"gui\": {\n        \"displayOffMin\": 5,\n        \"locale\": \"en_GB\",\n        \"settingsPin\": "
        "\"********\"\n    },\n"
        "    \"mqtt\": {\n        \"base\": \"vexa/ui\",\n        \"password\": \"********\"\n    }\n}\n");
    for (int i = 0; i < n; ++i) {
        const QString base = QStringLiteral("fleet/%1/").arg(serialOf(i));
        mqtt.publish("1", base + QStringLiteral("bridge"), 1, true);
        mqtt.publish(info, base + QStringLiteral("info"), 1, true);
        mqtt.publish(running, base + QStringLiteral("status"), 1, true);
        mqtt.publish(config, base + QStringLiteral("config"), 1, true);
        mqtt.publish(health(i, 0), base + QStringLiteral("health"), 0, true);
        if (i % 200 == 0)
            QCoreApplication::processEvents();
    }
    // Every unit's health every 10 s, spread evenly over the 10 s.
    int next = 0;
    int round = 1;
    QTimer beat;
    const int perTick = qMax(1, n / 100);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        for (int k = 0; k < perTick; ++k) {
            mqtt.publish(health(next, round), QStringLiteral("fleet/%1/health").arg(serialOf(next)), 0, true);
            if (++next == n) {
                next = 0;
                ++round;
            }
        }
    });
    beat.start(qMax(1, 10000 * perTick / n));

    // Wait until ticora-fleet knows every unit.
    const QByteArray wanted = "\"" + serialOf(n - 1).toLatin1() + "\"";
    if (!waitUntil(
            [&] {
                QElapsedTimer pause;
                pause.start();
                waitUntil([&] { return pause.elapsed() >= 250; }, 1000);
                QByteArray body;
                get(http, "/metrics", &body);
                return body.contains("ticora_fleet_units " + QByteArray::number(n) + "\n");
            },
            300000)) {
        std::fprintf(stderr, "ticora-fleet-bench: ticora-fleet never saw all %d units\n", n);
        return 1;
    }

    // CPU over a steady stretch of health traffic, nobody reading the page.
    const Usage before = usage(pid);
    QElapsedTimer steady;
    steady.start();
    waitUntil([&] { return steady.elapsed() >= steadySeconds * 1000; }, steadySeconds * 1000 + 5000);
    const Usage after = usage(pid);
    const double cpuPercent = 100.0 * (after.cpuSeconds - before.cpuSeconds) / (steady.elapsed() / 1000.0);

    QVector<double> unitsMs, metricsMs, pageMs;
    QByteArray unitsBody, metricsBody;
    for (int k = 0; k < 5; ++k) {
        unitsMs << get(http, "/api/units", &unitsBody);
        metricsMs << get(http, "/metrics", &metricsBody);
        pageMs << get(http, "/") + get(http, "/app.js") + get(http, "/style.css") + get(http, "/api/units");
    }
    if (!unitsBody.contains(wanted)) {
        std::fprintf(stderr, "ticora-fleet-bench: /api/units lacks %s\n", wanted.constData());
        return 1;
    }

    // Status change at the broker -> the unit's state on the event stream.
    QTcpSocket stream;
    QByteArray streamed;
    stream.connectToHost(QStringLiteral("127.0.0.1"), http);
    QObject::connect(
        &stream, &QTcpSocket::connected, [&] { stream.write("GET /api/events HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"); });
    QObject::connect(&stream, &QTcpSocket::readyRead, [&] { streamed += stream.readAll(); });
    waitUntil([&] { return streamed.contains("retry:"); }, 20000);
    QVector<double> streamMs;
    for (int k = 0; k < 10; ++k) {
        const QString serial = serialOf((k * 7919) % n);
        const bool stop = k % 2 == 0;
        const QByteArray needle
            = "\"serial\":\"" + serial.toLatin1() + "\",\"state\":\"" + (stop ? "stopped" : "running") + "\"";
        streamed.clear();
        QElapsedTimer t;
        t.start();
        mqtt.publish(stop ? QByteArrayLiteral("{\"service\": false}") : running,
            QStringLiteral("fleet/%1/status").arg(serial), 1, true);
        if (!waitUntil([&] { return streamed.contains(needle); }, 30000)) {
            std::fprintf(stderr, "ticora-fleet-bench: %s never came on the stream\n", qPrintable(serial));
            return 1;
        }
        streamMs << t.nsecsElapsed() / 1e6;
        // Leave every changed unit running again for the next figures.
        if (stop)
            mqtt.publish(running, QStringLiteral("fleet/%1/status").arg(serial), 1, true);
    }
    const Usage end = usage(pid);
    std::printf("| %d | %.1f %% | %.0f MB (peak %.0f MB) | %.0f ms (%.0f kB) | %.0f ms (%.0f kB) | %.0f ms | %.0f ms "
                "(max %.0f) |\n",
        n, cpuPercent, end.rssMb, end.peakMb, median(unitsMs), unitsBody.size() / 1024.0, median(metricsMs),
        metricsBody.size() / 1024.0, median(pageMs), median(streamMs),
        *std::max_element(streamMs.begin(), streamMs.end()));
    return 0;
}
