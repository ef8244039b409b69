#include "Config.h"
#include "Diagnostics.h"
#include "EventManager.h"
#include "FakeTransport.h"
#include "GUIManager.h"
#include "LogCapture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The names of the entries an event file holds, oldest first.
QStringList eventNames(const QString& path)
{
    QSettings file(path, QSettings::IniFormat);
    QStringList names;
    const int n = file.beginReadArray(QStringLiteral("events"));
    for (int i = 0; i < n; ++i) {
        file.setArrayIndex(i);
        names << file.value(QStringLiteral("name")).toString();
    }
    file.endArray();
    return names;
}

int count(const LogCapture& log, QtMsgType type, const QString& start)
{
    int n = 0;
    for (const QString& line : log.lines(type))
        n += line.startsWith(start);
    return n;
}

} // namespace

// The event log, the settings file, the device id and the test report on a file system
// that fills up: the old files stay whole, each failed write says so once, the program
// keeps showing its screens, and the events and settings reach the files once space returns.
class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("Mounting the small file system needs root; the full-disk test is skipped");
        QVERIFY(m_dir.isValid());
        m_root = m_dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(m_root));
        if (QProcess::execute(QStringLiteral("mount"),
                { "-t", "tmpfs", "-o", "size=256k", "tmpfs", m_root }) != 0)
            QSKIP("mount -t tmpfs is not allowed here; the full-disk test is skipped");
        m_mounted = true;
    }

    void cleanupTestCase()
    {
        QDir::setCurrent(QDir::tempPath());
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), { m_root });
    }

    void nothingIsLostOnAFullDisk()
    {
        const QString idFile = m_root + QStringLiteral("/serialnumber");
        const QString events = m_root + QStringLiteral("/events.ini");
        const QString settings = m_root + QStringLiteral("/gui.conf");
        {
            QFile f(idFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("K12345678");
        }
        QVariantMap defaults = GUIManager::Defaults;
        defaults.insert(QStringLiteral("gui/deviceId"), idFile);
        defaults.insert(QStringLiteral("log/syslog"), false);
        defaults.insert(QStringLiteral("log/stderr"), false);
        Config config(settings, defaults);
        FakeTransport* transport = nullptr;
        GUIManager::Options options;
        options.transport = [&transport] { return transport = new FakeTransport(); };
        options.eventLogPath = events;
        GUIManager gui(config, options);
        QVERIFY(QDir::setCurrent(m_root)); // where the report goes
        const auto inject = [&transport](const char* topic, const QJsonObject& o) {
            transport->inject(QString::fromLatin1(topic), QJsonDocument(o).toJson(QJsonDocument::Compact));
        };
        const auto ignition = [&inject](bool on) {
            inject("vexa/board/status",
                { { "service", true }, { "device", QJsonObject { { "active", true }, { "ignition", on } } } });
        };
        const auto scan = [&inject](bool valid) {
            QJsonObject t { { "result", valid }, { "type", 2 }, { "fareProductName", "Stored value" } };
            if (!valid)
                t.insert("denyReason", QJsonObject { { "id", 200 } });
            inject("vexa/blm/rfid/scanned", { { "transaction", t } });
        };
        QTRY_VERIFY(transport && transport->state() == manager::MqttTransport::Connected);
        inject("vexa/blm/status",
            { { "service", true },
                { "state",
                    QJsonObject { { "init", false }, { "hasRfid", true }, { "hasRoute", true }, { "hasQr", true },
                        { "hasObu", true } } } });
        ignition(false);
        ignition(true);
        config.set(QStringLiteral("gui/displayOffMin"), 4);
        const QStringList savedBefore = eventNames(events);
        QCOMPARE(savedBefore, (QStringList { "Ignition off", "Ignition on" }));
        const QByteArray eventsBefore = readAll(events);
        const QByteArray settingsBefore = readAll(settings);
        QVERIFY(settingsBefore.contains("displayOffMin=4"));

        // Takes every page that is left; again before each write, as a failed write frees
        // what it had taken.
        const QString fillerPath = m_root + QStringLiteral("/filler");
        const auto fill = [&fillerPath] {
            QFile filler(fillerPath);
            QVERIFY(filler.open(QIODevice::Append | QIODevice::Unbuffered));
            const QByteArray page(4096, 'f');
            while (filler.write(page) == page.size()) { }
            while (filler.write("f", 1) == 1) { }
        };

        LogCapture log;
        fill();
        ignition(false);
        fill();
        ignition(true);
        scan(true);
        QCOMPARE(gui.screen(), QStringLiteral("Valid"));
        scan(false);
        QCOMPARE(gui.screen(), QStringLiteral("Invalid"));
        fill();
        config.set(QStringLiteral("gui/displayOffMin"), 7);
        QCOMPARE(config.get(QStringLiteral("gui/displayOffMin")).toInt(), 7);
        fill();
        gui.saveDeviceIdRequest(QStringLiteral("K87654321"));
        QSignalSpy report(gui.diagnostics(), &Diagnostics::saveReportFinished);
        fill();
        gui.diagnostics()->saveReport();
        QCOMPARE(report.size(), 1);
        QVERIFY2(!report.at(0).at(0).toBool(), qPrintable(report.at(0).at(1).toString()));
        QVERIFY(report.at(0).at(1).toString().startsWith(QStringLiteral("Could not save Test Report")));

        QCOMPARE(readAll(events), eventsBefore);
        QCOMPARE(readAll(settings), settingsBefore);
        QCOMPARE(readAll(idFile), QByteArray("K12345678"));
        QCOMPARE(count(log, QtWarningMsg, "[EventManager] WARN: Could not write event file"), 2);
        QCOMPARE(count(log, QtWarningMsg, "[Config] WARN: Could not write config file"), 1);
        QCOMPARE(count(log, QtCriticalMsg, "[GUIManager] ERROR: Could not save device S/N"), 1);
        QCOMPARE(gui.eventLog()->events().size(), savedBefore.size() + 2);

        // Space returns: the events and the setting reach their files without another change.
        QVERIFY(QFile::remove(fillerPath));
        const QStringList expected = savedBefore + QStringList { "Ignition off", "Ignition on" };
        QTRY_COMPARE_WITH_TIMEOUT(eventNames(events), expected, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(settings).contains("displayOffMin=7"), 60000);
        QCOMPARE(count(log, QtWarningMsg, "[EventManager] WARN: Could not write event file"), 2);
        QCOMPARE(count(log, QtWarningMsg, "[Config] WARN: Could not write config file"), 1);
        QVERIFY(log.lines(QtInfoMsg).contains("[EventManager] Event file written again : " + events));
        QCOMPARE(readAll(idFile), QByteArray("K12345678"));
        gui.diagnostics()->saveReport();
        QCOMPARE(report.size(), 2);
        QCOMPARE(report.at(1).at(0).toBool(), true);
        scan(true);
        QCOMPARE(gui.screen(), QStringLiteral("Valid"));
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
    bool m_mounted = false;
};

QTEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
