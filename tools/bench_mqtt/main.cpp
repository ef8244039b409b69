// ticora-bench-mqtt: round trip publish -> broker -> receive on 127.0.0.1, one
// message in flight, through manager::MqttClient (libmosquitto on the Qt event loop)
// and through a bare libmosquitto client running the library's own network thread.
//
//   ticora-bench-mqtt [-n messages] [-s payload bytes] [-P port of a running broker]
//
// Without -P it starts a private mosquitto on a free loopback port.

#include "MqttClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mosquitto.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const char* Topic = "bench/rt";
const int Warmup = 200;

struct Stats
{
    double median = 0;
    double p99 = 0;
    double mean = 0;
};

Stats summarise(std::vector<double> us)
{
    Stats s;
    if (us.empty())
        return s;
    std::sort(us.begin(), us.end());
    s.median = us[us.size() / 2];
    s.p99 = us[std::min(us.size() - 1, size_t(double(us.size()) * 0.99))];
    double sum = 0;
    for (double v : us)
        sum += v;
    s.mean = sum / double(us.size());
    return s;
}

double microsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// A private broker: foreground process, its own configuration, a free loopback port.
class PrivateBroker
{
public:
    ~PrivateBroker()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    quint16 start()
    {
        QString exe = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
        if (exe.isEmpty())
            exe = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), { QStringLiteral("/usr/sbin") });
        if (exe.isEmpty() || !m_dir.isValid())
            return 0;
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        const quint16 port = probe.serverPort();
        probe.close();
        const passwd* pw = getpwuid(getuid());
        QFile conf(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return 0;
        conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"
                                  "log_dest none\nuser %2\n")
                       .arg(port)
                       .arg(pw ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("root"))
                       .toUtf8());
        conf.close();
        m_process.start(exe, { QStringLiteral("-c"), conf.fileName() });
        if (!m_process.waitForStarted(10000))
            return 0;
        for (int i = 0; i < 200 && m_process.state() == QProcess::Running; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(200))
                return port;
            QThread::msleep(50);
        }
        return 0;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// Through the system's own client, on this thread's event loop.
std::vector<double> benchMqttClient(quint16 port, int count, const QByteArray& payload)
{
    std::vector<double> samples;
    samples.reserve(size_t(count));
    manager::MqttClient client;
    client.setHostname(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.setClientId(QStringLiteral("bench-ticora"));
    client.subscribe(QString::fromLatin1(Topic));

    QEventLoop loop;
    int sent = 0;
    Clock::time_point t0;
    auto sendNext = [&] {
        t0 = Clock::now();
        if (!client.publish(payload, QString::fromLatin1(Topic)))
            loop.exit(1);
        ++sent;
    };
    QObject::connect(&client, &manager::MqttClient::received, [&](const QByteArray& data, const QByteArray&) {
        const double us = microsSince(t0);
        if (data.size() != payload.size()) {
            loop.exit(1);
            return;
        }
        if (sent > Warmup)
            samples.push_back(us);
        if (sent >= count + Warmup)
            loop.exit(0);
        else
            sendNext();
    });
    // Listeners of connected() run before the subscriptions are renewed; the first
    // message leaves after them, and the broker handles both in order.
    QObject::connect(&client, &manager::MqttClient::connected, [&] { QTimer::singleShot(0, sendNext); });
    QTimer::singleShot(60000, &loop, [&] { loop.exit(2); });
    client.connect();
    if (loop.exec() != 0)
        std::fprintf(stderr, "MqttClient run failed after %d messages\n", sent);
    return samples;
}

// Reference: bare libmosquitto with mosquitto_loop_start; the next message is
// published from the message callback, the library's quickest path.
struct Reference
{
    std::mutex mutex;
    std::condition_variable cv;
    bool connected = false;
    bool done = false;
    int sent = 0;
    int count = 0;
    QByteArray payload;
    Clock::time_point t0;
    std::vector<double> samples;
};

void sendReference(mosquitto* m, Reference* r)
{
    r->t0 = Clock::now();
    ++r->sent;
    mosquitto_publish(m, nullptr, Topic, r->payload.size(), r->payload.constData(), 0, false);
}

std::vector<double> benchLibmosquitto(quint16 port, int count, const QByteArray& payload)
{
    Reference r;
    r.count = count;
    r.payload = payload;
    r.samples.reserve(size_t(count));
    mosquitto* m = mosquitto_new("bench-reference", true, &r);
    mosquitto_connect_callback_set(m, [](mosquitto* m, void* p, int rc) {
        (void)p;
        if (rc == 0)
            mosquitto_subscribe(m, nullptr, Topic, 0);
    });
    mosquitto_subscribe_callback_set(m, [](mosquitto*, void* p, int, int, const int*) {
        auto* r = static_cast<Reference*>(p);
        std::lock_guard<std::mutex> lock(r->mutex);
        r->connected = true;
        r->cv.notify_all();
    });
    mosquitto_message_callback_set(m, [](mosquitto* m, void* p, const mosquitto_message* msg) {
        auto* r = static_cast<Reference*>(p);
        const double us = microsSince(r->t0);
        if (msg->payloadlen != r->payload.size())
            return;
        if (r->sent > Warmup)
            r->samples.push_back(us);
        if (r->sent >= r->count + Warmup) {
            std::lock_guard<std::mutex> lock(r->mutex);
            r->done = true;
            r->cv.notify_all();
        } else {
            sendReference(m, r);
        }
    });
    if (mosquitto_connect(m, "127.0.0.1", port, 5) != MOSQ_ERR_SUCCESS || mosquitto_loop_start(m) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "libmosquitto reference cannot connect\n");
        mosquitto_destroy(m);
        return {};
    }
    {
        std::unique_lock<std::mutex> lock(r.mutex);
        r.cv.wait_for(lock, std::chrono::seconds(10), [&] { return r.connected; });
    }
    sendReference(m, &r);
    {
        std::unique_lock<std::mutex> lock(r.mutex);
        if (!r.cv.wait_for(lock, std::chrono::seconds(60), [&] { return r.done; }))
            std::fprintf(stderr, "libmosquitto reference timed out after %d messages\n", r.sent);
    }
    mosquitto_disconnect(m);
    mosquitto_loop_stop(m, false);
    mosquitto_destroy(m);
    return r.samples;
}

void print(const char* name, const Stats& s, size_t n)
{
    std::printf("%-34s n=%zu  median %8.1f us   p99 %8.1f us   mean %8.1f us\n", name, n, s.median, s.p99, s.mean);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("MQTT round-trip benchmark on 127.0.0.1"));
    parser.addHelpOption();
    parser.addOption({ { QStringLiteral("n") }, QStringLiteral("Messages per run (default 10000)."),
        QStringLiteral("count"), QStringLiteral("10000") });
    parser.addOption({ { QStringLiteral("s") }, QStringLiteral("Payload bytes (default 64)."), QStringLiteral("bytes"),
        QStringLiteral("64") });
    parser.addOption({ { QStringLiteral("P") }, QStringLiteral("Port of a broker already running on 127.0.0.1."),
        QStringLiteral("port") });
    parser.process(app);

    // As on the device at the default log level: debug lines are built but dropped.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false"));

    const int count = std::max(1, parser.value(QStringLiteral("n")).toInt());
    const QByteArray payload(std::max(1, parser.value(QStringLiteral("s")).toInt()), 'x');
    PrivateBroker broker;
    quint16 port = quint16(parser.value(QStringLiteral("P")).toUInt());
    if (port == 0 && (port = broker.start()) == 0) {
        std::fprintf(stderr, "cannot start mosquitto\n");
        return 1;
    }
    mosquitto_lib_init();
    std::printf("broker 127.0.0.1:%u, %d messages of %d bytes, QoS 0, one in flight (after %d warm-up)\n",
        unsigned(port), count, int(payload.size()), Warmup);

    const std::vector<double> ours = benchMqttClient(port, count, payload);
    const std::vector<double> ref = benchLibmosquitto(port, count, payload);
    if (ours.size() < size_t(count) || ref.size() < size_t(count))
        return 1;
    const Stats a = summarise(ours);
    const Stats b = summarise(ref);
    print("manager::MqttClient (Qt loop)", a, ours.size());
    print("libmosquitto (loop_start thread)", b, ref.size());
    std::printf("ratio ours/reference: median %.2f  p99 %.2f   added median %+.1f us\n", a.median / b.median,
        a.p99 / b.p99, a.median - b.median);
    mosquitto_lib_cleanup();
    return 0;
}
