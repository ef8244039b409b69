#include "Config.h"
#include "Diagnostics.h"
#include "EventManager.h"
#include "FakeTransport.h"
#include "GUIManager.h"
#include "LogCapture.h"

#include <QJsonDocument>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList eventNames(const QString& path)
{
    QSettings file(path, QSettings::IniFormat);
    QStringList names;
    for (int i = 0, n = file.beginReadArray("events"); i < n; ++i) {
        file.setArrayIndex(i);
        names << file.value("name").toString();
    }
    return names;
}

} // namespace

// The event log, settings, device id and report on a small file system that fills up.
class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("Mounting the small file system needs root; the full-disk test is skipped");
        m_root = m_dir.filePath("small");
        QVERIFY(QDir().mkpath(m_root));
        if (QProcess::execute("mount", { "-t", "tmpfs", "-o", "size=256k", "tmpfs", m_root }) != 0)
            QSKIP("mount -t tmpfs is not allowed here; the full-disk test is skipped");
        m_mounted = true;
    }

    void cleanupTestCase()
    {
        QDir::setCurrent(QDir::tempPath());
        if (m_mounted)
            QProcess::execute("umount", { m_root });
    }

    void nothingIsLostOnAFullDisk()
    {
        const QString id = m_root + "/serialnumber", events = m_root + "/events.ini", conf = m_root + "/gui.conf";
        QFile idFile(id);
        QVERIFY(idFile.open(QIODevice::WriteOnly) && idFile.write("K12345678") == 9);
        idFile.close();
        QVariantMap defaults = GUIManager::Defaults;
        defaults.insert("gui/deviceId", id);
        defaults.insert("log/stderr", false);
        Config config(conf, defaults);
        FakeTransport* transport = nullptr;
        GUIManager::Options options;
        options.transport = [&transport] { return transport = new FakeTransport(); };
        options.eventLogPath = events;
        GUIManager gui(config, options);
        QVERIFY(QDir::setCurrent(m_root)); // where the report goes
        const auto inject = [&transport](const char* topic, const QJsonObject& o) {
            transport->inject(topic, QJsonDocument(o).toJson());
        };
        const auto ignition = [&](bool on) {
            inject("vexa/board/status",
                { { "service", true }, { "device", QJsonObject { { "active", true }, { "ignition", on } } } });
        };
        const auto scan = [&](bool valid) {
            inject("vexa/blm/rfid/scanned",
                { { "transaction",
                    QJsonObject {
                        { "result", valid }, { "type", 2 }, { "denyReason", QJsonObject { { "id", 200 } } } } } });
            return gui.screen();
        };
        QTRY_VERIFY(transport && transport->state() == manager::MqttTransport::Connected);
        inject("vexa/blm/status",
            { { "service", true }, { "state", QJsonObject { { "hasRfid", true }, { "hasRoute", true } } } });
        ignition(false);
        ignition(true);
        config.set("gui/displayOffMin", 4);
        const QStringList saved = eventNames(events);
        QCOMPARE(saved, (QStringList { "Ignition off", "Ignition on" }));
        const QByteArray eventsBefore = readAll(events), confBefore = readAll(conf);

        // Takes every page left, again before each write: a failed write frees what it took.
        const auto fill = [this] {
            QFile filler(m_root + "/filler");
            QVERIFY(filler.open(QIODevice::Append | QIODevice::Unbuffered));
            while (filler.write(QByteArray(4096, 'f')) == 4096) { }
            while (filler.write("f", 1) == 1) { }
        };
        LogCapture log;
        fill();
        ignition(false);
        fill();
        ignition(true);
        QCOMPARE(scan(true), QString("Valid"));
        QCOMPARE(scan(false), QString("Invalid"));
        fill();
        config.set("gui/displayOffMin", 7);
        fill();
        gui.saveDeviceIdRequest("K87654321");
        QSignalSpy report(gui.diagnostics(), &Diagnostics::saveReportFinished);
        fill();
        gui.diagnostics()->saveReport();
        QVERIFY(!report.at(0).at(0).toBool());
        QVERIFY(report.at(0).at(1).toString().startsWith("Could not save Test Report"));
        QCOMPARE(readAll(events), eventsBefore);
        QCOMPARE(readAll(conf), confBefore);
        QCOMPARE(readAll(id), QByteArray("K12345678"));
        const auto warnings
            = [&log](const QString& start) { return log.lines().filter(QRegularExpression("^\\Q" + start)).size(); };
        QCOMPARE(warnings("[EventManager] WARN: Could not write event file"), 2);
        QCOMPARE(warnings("[Config] WARN: Could not write config file"), 1);
        QCOMPARE(warnings("[GUIManager] ERROR: Could not save device S/N"), 1);

        // Space returns: the events and the setting reach their files with no further change.
        QVERIFY(QFile::remove(m_root + "/filler"));
        QTRY_COMPARE_WITH_TIMEOUT(eventNames(events), saved + saved, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(readAll(conf).contains("displayOffMin=7"), 60000);
        QCOMPARE(warnings("[EventManager] WARN: Could not write event file"), 2);
        QCOMPARE(warnings("[Config] WARN: Could not write config file"), 1);
        QCOMPARE(readAll(id), QByteArray("K12345678"));
        gui.diagnostics()->saveReport();
        QVERIFY(report.at(1).at(0).toBool());
        QCOMPARE(scan(true), QString("Valid"));
    }

private:
    QTemporaryDir m_dir;
    QString m_root;
    bool m_mounted = false;
};

QTEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
