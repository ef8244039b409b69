// Times the two costs of the event log that grow with its size: one push at full
// capacity (it rewrites the whole file) and loading a full file at start-up.
// Run it on the storage the device uses: bench_events --dir /path/on/that/disk
// With --fill it instead starts from an empty log, pushes entries past the cap and
// prints the resident memory on the way, as a unit's log fills over months.

#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "GUIManager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// The manager logs every load; only its warnings matter here.
void quiet(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg && text.startsWith(QLatin1String("[EventManager]")))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

struct Stats
{
    double median, min, max;
};

Stats summarise(QVector<double> millis)
{
    std::sort(millis.begin(), millis.end());
    const int n = millis.size();
    const double median = n % 2 ? millis.at(n / 2) : (millis.at(n / 2 - 1) + millis.at(n / 2)) / 2;
    return { median, millis.first(), millis.last() };
}

void writeFullFile(const QString& path, int count)
{
    QSettings file(path, QSettings::IniFormat);
    const QDateTime start = QDateTime::currentDateTime().addDays(-1);
    file.beginWriteArray(QStringLiteral("events"), count);
    for (int i = 0; i < count; ++i) {
        file.setArrayIndex(i);
        file.setValue(QStringLiteral("category"), QStringLiteral("General"));
        file.setValue(QStringLiteral("name"), QStringLiteral("Maintenance login"));
        file.setValue(QStringLiteral("desc"),
            QStringLiteral("User ID : 0\nFirst name : VEXA\nLast name : Admin\nDate : %1")
                .arg(start.addSecs(i).toString()));
        file.setValue(QStringLiteral("timestamp"), start.addSecs(i));
    }
    file.endArray();
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int fill(Config& config, const QString& dir)
{
    const QString path = QDir(dir).filePath(QStringLiteral("fill.ini"));
    EventManager manager(config, path);
    QTextStream out(stdout);
    out << "entries   RSS-kB  growth-kB  file-B\n";
    const long start = residentKiB();
    const QVector<int> marks { 0, 10, 20, 50, 100, 200, 500, 750, 1001, 1500, 2000, 3000 };
    int pushed = 0;
    for (int mark : marks) {
        for (; pushed < mark; ++pushed) {
            manager.push(new Event(QStringLiteral("Board"),
                pushed % 2 ? QStringLiteral("Ignition off") : QStringLiteral("Ignition on"), QString(),
                QDateTime::currentDateTime()));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        const long rss = residentKiB();
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(pushed, 7)
                   .arg(rss, 8)
                   .arg(rss - start, 10)
                   .arg(QFileInfo(path).size(), 7);
        out.flush();
    }
    return manager.events().size() == EventManager::MaxLoaded + 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Event log benchmark"));
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("runs"), QStringLiteral("Repetitions per measurement."), QStringLiteral("n"),
        QStringLiteral("21") });
    parser.addOption({ QStringLiteral("dir"), QStringLiteral("Folder for the files (default: a temporary one)."),
        QStringLiteral("path") });
    parser.addOption(
        { QStringLiteral("fill"), QStringLiteral("Print the memory as an empty log fills past its cap.") });
    parser.process(app);
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());

    QTemporaryDir temp(parser.isSet(QStringLiteral("dir"))
            ? QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-XXXXXX"))
            : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    if (!temp.isValid()) {
        std::fprintf(stderr, "Cannot create a folder for the files\n");
        return 1;
    }
    qInstallMessageHandler(quiet);
    Config config(temp.filePath(QStringLiteral("gui.conf")), GUIManager::Defaults);
    if (parser.isSet(QStringLiteral("fill")))
        return fill(config, temp.path());

    const QString full = temp.filePath(QStringLiteral("full.ini"));
    writeFullFile(full, EventManager::MaxLoaded);

    // Each run loads its own copy: the settings class caches parsed files by path.
    QVector<double> load;
    for (int r = 0; r < runs; ++r) {
        const QString copy = temp.filePath(QStringLiteral("load%1.ini").arg(r));
        QFile::copy(full, copy);
        QElapsedTimer t;
        t.start();
        auto manager = std::make_unique<EventManager>(config, copy);
        load << t.nsecsElapsed() / 1e6;
        if (manager->events().size() != EventManager::MaxLoaded) {
            std::fprintf(
                stderr, "Loaded %d entries, expected %d\n", int(manager->events().size()), EventManager::MaxLoaded);
            return 1;
        }
    }

    const QString pushed = temp.filePath(QStringLiteral("events.ini"));
    QFile::copy(full, pushed);
    EventManager manager(config, pushed);
    manager.push(
        new Event(QStringLiteral("Board"), QStringLiteral("Ignition on"), QString(), QDateTime::currentDateTime()));
    QVector<double> push;
    for (int r = 0; r < runs; ++r) {
        auto* event = new Event(
            QStringLiteral("Board"), QStringLiteral("Ignition off"), QString(), QDateTime::currentDateTime());
        QElapsedTimer t;
        t.start();
        manager.push(event);
        push << t.nsecsElapsed() / 1e6;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (manager.events().size() != EventManager::MaxLoaded + 1) {
        std::fprintf(
            stderr, "Log holds %d entries, expected %d\n", int(manager.events().size()), EventManager::MaxLoaded + 1);
        return 1;
    }

    QTextStream out(stdout);
    const Stats p = summarise(push);
    const Stats l = summarise(load);
    out << "Event log benchmark, " << runs << " runs each, files in " << temp.path() << "\n";
    out << "File of 1001 entries: " << QFileInfo(pushed).size() << " bytes\n";
    out << QStringLiteral("push at 1001 entries : median %1 ms (min %2, max %3)\n")
               .arg(p.median, 0, 'f', 2)
               .arg(p.min, 0, 'f', 2)
               .arg(p.max, 0, 'f', 2);
    out << QStringLiteral("load of 1000 entries : median %1 ms (min %2, max %3)\n")
               .arg(l.median, 0, 'f', 2)
               .arg(l.min, 0, 'f', 2)
               .arg(l.max, 0, 'f', 2);
    return 0;
}
