// ticora-bench-panel: the panel's own costs beside a floor, measured in one run.
//
//   ticora-bench-panel --program P --floor F --responder R --sim S
//                      [--display :N] [--idle-seconds 20] [--runs 5] [--scans 40]
//
// Starts a private broker on 127.0.0.1, plays the validator service (a retained
// "online" status, then card scans), pins the panel and its floor to core 0 and
// prints one table: idle CPU (offscreen + software; under the X display given by
// --display, where each picks its renderer itself: the panel the software one on a
// machine without a graphics processor, the bare floor Qt's OpenGL through Mesa),
// start-up, peak memory, scan reaction and scan to frame. Frames are seen through
// the scene graph's render-loop timing lines.
// Usually run through scripts/bench.sh.

#include "Broker.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const QString ScanTopic = QStringLiteral("vexa/blm/rfid/scanned");
const QString SoundTopic = QStringLiteral("vexa/inspector/audio/play");
const QString StatusTopic = QStringLiteral("vexa/blm/status");
const QByteArray FrameLine = "Frame rendered";

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs the event loop until cond() holds or timeoutMs passes.
bool waitUntil(const std::function<bool()>& cond, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(5);
    while (!cond()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void pause(int ms)
{
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    waitUntil([&] { return Clock::now() >= end; }, ms + 1000);
}

// A program pinned to core 0, its output read line by line with arrival times.
class Child
{
public:
    struct Line
    {
        Clock::time_point at;
        QByteArray text;
    };

    Child(const QString& exe, const QStringList& args, const QProcessEnvironment& env)
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { read(); });
        m_started = Clock::now();
        m_process.start(
            QStringLiteral("taskset"), QStringList { QStringLiteral("-c"), QStringLiteral("0"), exe } + args);
        m_process.waitForStarted(10000);
    }

    ~Child()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    Clock::time_point started() const { return m_started; }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    const std::vector<Line>& lines() const { return m_lines; }

    // Index of the first line from `from` on that contains text, or -1.
    int find(const QByteArray& text, size_t from = 0) const
    {
        for (size_t i = from; i < m_lines.size(); ++i) {
            if (m_lines[i].text.contains(text))
                return int(i);
        }
        return -1;
    }

    // Waits for a line containing text from index `from` on; its index or -1.
    int waitLine(const QByteArray& text, size_t from = 0, int timeoutMs = 20000)
    {
        int found = -1;
        waitUntil(
            [&] {
                found = find(text, from);
                return found >= 0 || !running();
            },
            timeoutMs);
        return found;
    }

    // CPU time of all the process's threads, in ms.
    double cpuMs() const
    {
        double ns = 0;
        const QString base = QStringLiteral("/proc/%1/task").arg(pid());
        const QStringList tasks = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& task : tasks) {
            QFile f(base + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
            if (f.open(QIODevice::ReadOnly))
                ns += f.readAll().split(' ').value(0).toDouble();
        }
        return ns / 1e6;
    }

    // Peak resident memory in MB (VmHWM).
    double peakMb() const
    {
        QFile f(QStringLiteral("/proc/%1/status").arg(pid()));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
        return -1;
    }

    void dump(const char* what) const
    {
        std::fprintf(stderr, "--- %s: last output\n", what);
        const size_t from = m_lines.size() > 30 ? m_lines.size() - 30 : 0;
        for (size_t i = from; i < m_lines.size(); ++i)
            std::fprintf(stderr, "%s\n", m_lines[i].text.constData());
    }

private:
    void read()
    {
        const Clock::time_point now = Clock::now();
        m_partial += m_process.readAllStandardOutput();
        int nl;
        while ((nl = m_partial.indexOf('\n')) >= 0) {
            m_lines.push_back({ now, m_partial.left(nl) });
            m_partial.remove(0, nl + 1);
        }
    }

    QProcess m_process;
    Clock::time_point m_started;
    std::vector<Line> m_lines;
    QByteArray m_partial;
};

struct Setup
{
    QString program;
    QString floor;
    QString responder;
    QString display;
    int idleSeconds = 20;
    int runs = 5;
    int scans = 40;
    quint16 port = 0;
    QTemporaryDir dir;
};

QProcessEnvironment environment(bool x11, const QString& display, bool frames)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QUICK_BACKEND"));
    env.remove(QStringLiteral("QT_LOGGING_RULES"));
    if (x11) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display);
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    }
    if (frames)
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.scenegraph.time.renderloop.debug=true"));
    return env;
}

QStringList programArgs(const Setup& s) { return { QStringLiteral("-f"), s.dir.filePath(QStringLiteral("gui.conf")) }; }

bool writeProgramConfig(const Setup& s)
{
    QFile id(s.dir.filePath(QStringLiteral("serialnumber")));
    if (!id.open(QIODevice::WriteOnly))
        return false;
    id.write("K12345678");
    id.close();
    QFile conf(s.dir.filePath(QStringLiteral("gui.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        return false;
    conf.write(QStringLiteral("[log]\nstderr=true\nsyslog=false\n[gui]\ndeviceId=%1\nlocale=en_IE\n"
                              "[mqtt]\nhost=127.0.0.1\nport=%2\n")
                   .arg(id.fileName())
                   .arg(s.port)
                   .toUtf8());
    return true;
}

// The card validations the simulator plays (ticora-sim --samples), valid and refused in
// turn, so every scan changes the screen.
QList<QByteArray> g_samples;

bool loadSamples(const QString& sim)
{
    QProcess p;
    p.start(sim, { QStringLiteral("--samples") });
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s --samples failed\n", qPrintable(sim));
        return false;
    }
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const int space = line.indexOf(' ');
        if (space > 0 && line.left(space).endsWith("/rfid/scanned"))
            g_samples.append(line.mid(space + 1));
    }
    if (g_samples.isEmpty())
        std::fprintf(stderr, "%s printed no card validations\n", qPrintable(sim));
    return !g_samples.isEmpty();
}

QByteArray scanPayload(int n) { return g_samples.at(n % g_samples.size()); }

// The outcome screens a sample may bring up: "Valid" when accepted; a refusal shows
// "Invalid", or "AlreadyValid" for a ticket validated before.
QList<QByteArray> outcomeScreens(int n)
{
    const QJsonObject t
        = QJsonDocument::fromJson(scanPayload(n)).object().value(QStringLiteral("transaction")).toObject();
    if (t.value(QStringLiteral("result")).toBool())
        return { "Setting screen : Valid" };
    return { "Setting screen : Invalid", "Setting screen : AlreadyValid" };
}

// The validator service's side: retained status, scans out, sound requests in. A
// bare libmosquitto client on its own network thread, so the arrival of a sound
// request is stamped at once, whatever this program's event loop is reading.
class Service
{
public:
    explicit Service(quint16 port)
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new("bench-service", true, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto* m, void*, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, SoundTopic.toUtf8().constData(), 0);
        });
        mosquitto_subscribe_callback_set(m_mosq,
            [](mosquitto*, void* self, int, int, const int*) { static_cast<Service*>(self)->m_connected = true; });
        mosquitto_message_callback_set(m_mosq, [](mosquitto*, void* self, const mosquitto_message*) {
            auto* service = static_cast<Service*>(self);
            const Clock::time_point now = Clock::now();
            std::lock_guard<std::mutex> lock(service->m_mutex);
            service->m_sounds.push_back(now);
        });
        if (mosquitto_connect(m_mosq, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS)
            mosquitto_loop_start(m_mosq);
    }

    ~Service()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
        mosquitto_lib_cleanup();
    }

    bool waitConnected()
    {
        return waitUntil([this] { return m_connected.load(); }, 10000);
    }

    void publishOnline()
    {
        const QJsonObject state { { QStringLiteral("init"), false }, { QStringLiteral("hasRfid"), true },
            { QStringLiteral("hasNtp"), true }, { QStringLiteral("hasRoute"), true }, { QStringLiteral("hasQr"), true },
            { QStringLiteral("hasObu"), true } };
        const QJsonObject status { { QStringLiteral("service"), true }, { QStringLiteral("state"), state } };
        const QByteArray payload = QJsonDocument(status).toJson(QJsonDocument::Compact);
        mosquitto_publish(
            m_mosq, nullptr, StatusTopic.toUtf8().constData(), payload.size(), payload.constData(), 1, true);
    }

    // Sends one scan; the time it left.
    Clock::time_point scan(int n)
    {
        const QByteArray payload = scanPayload(n);
        const Clock::time_point t = Clock::now();
        mosquitto_publish(m_mosq, nullptr, "vexa/blm/rfid/scanned", payload.size(), payload.constData(), 0, false);
        return t;
    }

    size_t soundCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sounds.size();
    }

    Clock::time_point sound(size_t i)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sounds.at(i);
    }

private:
    mosquitto* m_mosq = nullptr;
    std::atomic<bool> m_connected { false };
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_sounds;
};

struct Row
{
    QString figure;
    QString panel;
    QString floor;
    QString ratio;
    QString target;
    bool met = false;
    bool measured = false;
};

QString num(double v, int decimals) { return v < 0 ? QStringLiteral("n/a") : QString::number(v, 'f', decimals); }

// CPU share of one core while the process rests, in percent.
double idleCpu(Child& child, int seconds)
{
    const double c0 = child.cpuMs();
    const Clock::time_point t0 = Clock::now();
    pause(seconds * 1000);
    const double c1 = child.cpuMs();
    if (!child.running())
        return -1;
    return 100.0 * (c1 - c0) / msBetween(t0, Clock::now());
}

double idlePanel(const Setup& s, bool x11)
{
    Child panel(s.program, programArgs(s), environment(x11, s.display, false));
    if (panel.waitLine("Setting screen : ScanScreens") < 0) {
        panel.dump("panel (idle)");
        return -1;
    }
    pause(3000);
    return idleCpu(panel, s.idleSeconds);
}

double idleFloor(const Setup& s, bool x11)
{
    Child floor(s.floor, { QStringLiteral("--stepping") }, environment(x11, s.display, false));
    pause(3000);
    return idleCpu(floor, s.idleSeconds);
}

struct StartUp
{
    std::vector<double> firstFrame;
    std::vector<double> scanFrame;
    std::vector<double> floorFrame;
};

void startUp(const Setup& s, StartUp& out)
{
    for (int run = 0; run < s.runs; ++run) {
        {
            Child floor(s.floor, {}, environment(false, s.display, true));
            const int i = floor.waitLine(FrameLine);
            if (i >= 0)
                out.floorFrame.push_back(msBetween(floor.started(), floor.lines()[size_t(i)].at));
            else
                floor.dump("floor (start-up)");
        }
        {
            Child panel(s.program, programArgs(s), environment(false, s.display, true));
            const int first = panel.waitLine(FrameLine);
            const int screen = panel.waitLine("Setting screen : ScanScreens");
            const int frame = screen >= 0 ? panel.waitLine(FrameLine, size_t(screen)) : -1;
            if (first < 0 || frame < 0) {
                panel.dump("panel (start-up)");
                continue;
            }
            out.firstFrame.push_back(msBetween(panel.started(), panel.lines()[size_t(first)].at));
            out.scanFrame.push_back(msBetween(panel.started(), panel.lines()[size_t(frame)].at));
        }
    }
}

struct Scans
{
    double peakMb = -1;
    double floorPeakMb = -1;
    std::vector<double> reaction;
    std::vector<double> floorReaction;
    std::vector<double> frame;
    std::vector<double> screenSet;
};

void scans(const Setup& s, Service& service, Scans& out)
{
    {
        Child floor(s.floor, {}, environment(false, s.display, true));
        if (floor.waitLine(FrameLine) >= 0) {
            pause(1000);
            out.floorPeakMb = floor.peakMb();
        }
    }
    {
        Child panel(s.program, programArgs(s), environment(false, s.display, true));
        const int screen = panel.waitLine("Setting screen : ScanScreens");
        if (screen < 0 || panel.waitLine(FrameLine, size_t(screen)) < 0) {
            panel.dump("panel (scans)");
            return;
        }
        pause(1500); // the screens built after the first frame
        for (int n = 0; n < s.scans; ++n) {
            const size_t sounds = service.soundCount();
            const size_t from = panel.lines().size();
            const Clock::time_point t0 = service.scan(n);
            const QList<QByteArray> screens = outcomeScreens(n);
            int set = -1;
            waitUntil(
                [&] {
                    for (const QByteArray& screen : screens)
                        if ((set = panel.find(screen, from)) >= 0)
                            return true;
                    return !panel.running();
                },
                10000);
            const int frame = set >= 0 ? panel.waitLine(FrameLine, size_t(set), 10000) : -1;
            if (!waitUntil([&] { return service.soundCount() > sounds; }, 10000) || frame < 0) {
                panel.dump("panel (scan)");
                return;
            }
            out.reaction.push_back(msBetween(t0, service.sound(sounds)));
            out.frame.push_back(msBetween(t0, panel.lines()[size_t(frame)].at));
            out.screenSet.push_back(msBetween(t0, panel.lines()[size_t(set)].at));
            if (n + 1 == 20)
                out.peakMb = panel.peakMb();
            pause(150);
        }
    }
    {
        Child responder(
            s.responder, { QString::number(s.port), ScanTopic, SoundTopic }, environment(false, s.display, false));
        if (responder.waitLine("subscribed") < 0) {
            responder.dump("responder");
            return;
        }
        for (int n = 0; n < s.scans; ++n) {
            const size_t sounds = service.soundCount();
            const Clock::time_point t0 = service.scan(n);
            if (!waitUntil([&] { return service.soundCount() > sounds; }, 10000))
                return;
            out.floorReaction.push_back(msBetween(t0, service.sound(sounds)));
            pause(150);
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption program("program", "The panel program.", "path");
    const QCommandLineOption floor("floor", "The floor program (ticora-bench-floor).", "path");
    const QCommandLineOption responder("responder", "The bare client (ticora-bench-responder).", "path");
    const QCommandLineOption sim("sim", "The simulator, whose sample validations are sent (ticora-sim).", "path");
    const QCommandLineOption display("display", "X display for the idle figure under X (e.g. Xvfb's).", "display");
    const QCommandLineOption idle("idle-seconds", "Seconds of each idle measurement (20).", "seconds", "20");
    const QCommandLineOption runs("runs", "Start-up runs of each program (5).", "count", "5");
    const QCommandLineOption scanCount("scans", "Scans sent to each (40, at least 20).", "count", "40");
    parser.addOptions({ program, floor, responder, sim, display, idle, runs, scanCount });
    parser.process(app);

    Setup s;
    s.program = parser.value(program);
    s.floor = parser.value(floor);
    s.responder = parser.value(responder);
    s.display = parser.value(display);
    s.idleSeconds = qMax(5, parser.value(idle).toInt());
    s.runs = qMax(1, parser.value(runs).toInt());
    s.scans = qMax(20, parser.value(scanCount).toInt());
    if (s.program.isEmpty() || s.floor.isEmpty() || s.responder.isEmpty() || !parser.isSet(sim)) {
        std::fprintf(stderr, "--program, --floor, --responder and --sim are needed\n");
        return 2;
    }
    if (!loadSamples(parser.value(sim)))
        return 1;

    Broker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "mosquitto cannot be started\n");
        return 1;
    }
    s.port = broker.port();
    if (!writeProgramConfig(s))
        return 1;
    // The panel's own log stays out of the way; the timing lines are read from it.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));

    Service service(s.port);
    if (!service.waitConnected()) {
        std::fprintf(stderr, "cannot connect to the broker\n");
        return 1;
    }
    service.publishOnline();
    pause(200);

    std::fprintf(stderr, "idle, offscreen ...\n");
    const double idleOff = idlePanel(s, false);
    const double idleOffFloor = idleFloor(s, false);
    double idleX = -1, idleXFloor = -1;
    if (!s.display.isEmpty()) {
        std::fprintf(stderr, "idle, X display %s ...\n", qPrintable(s.display));
        idleX = idlePanel(s, true);
        idleXFloor = idleFloor(s, true);
    }
    std::fprintf(stderr, "start-up ...\n");
    StartUp start;
    startUp(s, start);
    std::fprintf(stderr, "scans ...\n");
    Scans sc;
    scans(s, service, sc);

    std::vector<Row> rows;
    auto cpuRow = [&](const QString& name, double panel, double floorValue) {
        Row r { name, num(panel, 2) + QStringLiteral(" %"), num(floorValue, 2) + QStringLiteral(" %"),
            floorValue > 0 && panel >= 0 ? num(panel / floorValue, 2) + QStringLiteral(" ×") : QStringLiteral("n/a"),
            QStringLiteral("≤ 1 %"), panel >= 0 && panel <= 1.0, panel >= 0 };
        rows.push_back(r);
    };
    cpuRow(QStringLiteral("CPU idle on the scan screen, offscreen + software"), idleOff, idleOffFloor);
    if (!s.display.isEmpty())
        cpuRow(QStringLiteral("CPU idle on the scan screen, Xvfb (no GPU; floor on llvmpipe)"), idleX, idleXFloor);

    const double floorStart = median(start.floorFrame);
    auto startRow = [&](const QString& name, double panel) {
        const double ratio = floorStart > 0 && panel >= 0 ? panel / floorStart : -1;
        rows.push_back({ name, num(panel, 1) + QStringLiteral(" ms"), num(floorStart, 1) + QStringLiteral(" ms"),
            num(ratio, 2) + QStringLiteral(" ×"), QStringLiteral("≤ 4 × floor"), ratio >= 0 && ratio <= 4.0,
            panel >= 0 });
    };
    startRow(QStringLiteral("start to first frame, offscreen (median of %1)").arg(s.runs), median(start.firstFrame));
    startRow(QStringLiteral("start to first scan-screen frame, offscreen (median of %1)").arg(s.runs),
        median(start.scanFrame));

    const double memRatio = sc.floorPeakMb > 0 && sc.peakMb > 0 ? sc.peakMb / sc.floorPeakMb : -1;
    rows.push_back(
        { QStringLiteral("peak memory after 20 validations, offscreen"), num(sc.peakMb, 1) + QStringLiteral(" MB"),
            num(sc.floorPeakMb, 1) + QStringLiteral(" MB"), num(memRatio, 2) + QStringLiteral(" ×"),
            QStringLiteral("≤ 1.7 × floor"), memRatio >= 0 && memRatio <= 1.7, sc.peakMb > 0 });

    const double reaction = median(sc.reaction);
    const double floorReaction = median(sc.floorReaction);
    const double extra = reaction >= 0 && floorReaction >= 0 ? reaction - floorReaction : -1;
    rows.push_back({ QStringLiteral("scan message to sound request, median of %1").arg(sc.reaction.size()),
        num(reaction, 2) + QStringLiteral(" ms"), num(floorReaction, 2) + QStringLiteral(" ms (bare client)"),
        (extra >= 0 ? QStringLiteral("+") : QString()) + num(extra, 2) + QStringLiteral(" ms"),
        QStringLiteral("≤ floor + 0.40 ms"), reaction >= 0 && floorReaction >= 0 && extra <= 0.40, reaction >= 0 });

    const double frame = median(sc.frame);
    rows.push_back({ QStringLiteral("scan message to changed frame, offscreen, median of %1").arg(sc.frame.size()),
        num(frame, 2) + QStringLiteral(" ms"), QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("≤ 8 ms"),
        frame >= 0 && frame <= 8.0, frame >= 0 });

    std::fprintf(stderr, "scan message to the panel's screen change (log line), median %.2f ms\n", median(sc.screenSet));
    std::printf("| Figure | Panel | Floor | Ratio | Target | Met |\n|---|---|---|---|---|---|\n");
    bool allMet = true;
    for (const Row& r : rows) {
        allMet = allMet && r.met;
        std::printf("| %s | %s | %s | %s | %s | %s |\n", qPrintable(r.figure), qPrintable(r.panel), qPrintable(r.floor),
            qPrintable(r.ratio), qPrintable(r.target), !r.measured ? "not measured" : (r.met ? "yes" : "no"));
    }
    std::fflush(stdout);
    return allMet ? 0 : 3;
}
