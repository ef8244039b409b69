#include "FuzzSupport.h"

#include "GuiRig.h"
#include "SettingsKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <memory>

namespace fuzz {

namespace {

int g_argc = 1;
char g_arg0[] = "ticora-fuzz";
char* g_argv[] = { g_arg0, nullptr };

void quiet(QtMsgType, const QMessageLogContext&, const QString&) { }

// In memory where there is a tmpfs: the stores sync every file they write, and a
// disk would bound the run to a few dozen inputs a second.
QTemporaryDir& dir()
{
    static QTemporaryDir d(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
            ? QStringLiteral("/dev/shm/ticora-fuzz-XXXXXX")
            : QDir::tempPath() + QStringLiteral("/ticora-fuzz-XXXXXX"));
    return d;
}

} // namespace

void init(bool gui)
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    // No device program runs under the fuzzer: the clock client asks timedatectl for
    // the zone list on every construction, and a process per input would bound the
    // run to a few dozen inputs a second. An empty search path makes the start fail
    // at once, which the client handles as on a unit without the program.
    qputenv("PATH", QFile::encodeName(scratchDir()));
    // Kept for the life of the process; the fuzzer never returns from its loop.
    if (gui)
        new QGuiApplication(g_argc, g_argv);
    else
        new QCoreApplication(g_argc, g_argv);
    if (qEnvironmentVariableIsEmpty("TICORA_FUZZ_VERBOSE"))
        qInstallMessageHandler(quiet);
}

QString scratchDir() { return dir().path(); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

GuiRig& gui()
{
    static GuiRig* rig = [] {
        init(true);
        GuiRig::Setup setup;
        setup.deviceId = QStringLiteral("K12345678\n");
        setup.folder = scratchDir();
        const QString idFile = QDir(scratchDir()).filePath(QStringLiteral("serialnumber"));
        setup.overrides = { { manager::keys::LogStderr, false }, { manager::keys::LogSyslog, false },
            { manager::keys::DeviceId, idFile } };
        auto* made = new GuiRig(setup);
        drain();
        return made;
    }();
    return *rig;
}

void drain()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QList<Message> messages(const uint8_t* data, size_t size, const QStringList& topics)
{
    static const QByteArray digits = QByteArrayLiteral("0123456789abcdefghijklmnopqrstuvwxyz");
    QList<Message> out;
    const QList<QByteArray> records
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)).split('\x1e');
    for (const QByteArray& record : records) {
        Message m;
        if (record.isEmpty()) {
            if (!topics.isEmpty())
                m.topic = topics.first();
        } else if (record.at(0) == '/') {
            const int eol = record.indexOf('\n');
            m.topic = QString::fromUtf8(record.mid(1, eol < 0 ? -1 : eol - 1));
            m.payload = eol < 0 ? QByteArray() : record.mid(eol + 1);
        } else {
            const int pick = digits.indexOf(record.at(0));
            const int index = pick >= 0 ? pick : static_cast<unsigned char>(record.at(0));
            if (!topics.isEmpty())
                m.topic = topics.at(index % topics.size());
            m.payload = record.mid(1);
        }
        out.append(m);
    }
    return out;
}

} // namespace fuzz
