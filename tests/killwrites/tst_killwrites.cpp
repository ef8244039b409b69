#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "SettingsKeys.h"

#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// kill -9 lands while the event log or the settings file is being rewritten: the
// file must still parse and hold everything whose write had been acknowledged.
class TestKillWrites : public QObject
{
    Q_OBJECT
private slots:
    void eventLog();
    void settings();

private:
    // Starts the child, kills it once it has acknowledged `killAfter` writes, and
    // returns every write it acknowledged (all the output that reached the pipe).
    QList<int> runAndKill(const QString& mode, const QString& path, int first, int count, int killAfter);

    static constexpr int kCycles = 20;
    QTemporaryDir m_dir;
};

QList<int> TestKillWrites::runAndKill(const QString& mode, const QString& path, int first, int count, int killAfter)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral(KILLWRITES_CHILD), { mode, path, QString::number(first), QString::number(count) });
    if (!p.waitForStarted(30000))
        qFatal("child did not start");
    QList<int> acked;
    QByteArray buffer;
    auto take = [&] {
        buffer += p.readAllStandardOutput();
        int eol;
        while ((eol = buffer.indexOf('\n')) >= 0) {
            const QByteArray line = buffer.left(eol);
            buffer.remove(0, eol + 1);
            if (line.startsWith("ack "))
                acked.append(line.mid(4).toInt());
        }
    };
    while (acked.size() < killAfter && p.state() == QProcess::Running) {
        p.waitForReadyRead(30000);
        take();
    }
    p.kill();
    p.waitForFinished(30000);
    take();
    return acked;
}

void TestKillWrites::eventLog()
{
    const QString path = m_dir.filePath(QStringLiteral("events.ini"));
    Config config(m_dir.filePath(QStringLiteral("test.conf")), manager::keys::defaults());
    QSet<QString> acknowledged;
    int next = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        // 40 writes at most per child keeps the file under the loader's limit.
        const QList<int> acked = runAndKill(QStringLiteral("events"), path, next, 40, 1 + (cycle * 7) % 12);
        QVERIFY2(!acked.isEmpty(), "child acknowledged nothing");
        for (int n : acked)
            acknowledged.insert(QStringLiteral("e%1").arg(n));
        next = acked.last() + 2; // the write in flight may or may not have landed

        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.status(), QSettings::NoError);
        EventManager log(config, path);
        QSet<QString> stored;
        for (const Event* e : log.events())
            stored.insert(e->name());
        for (const QString& name : qAsConst(acknowledged))
            QVERIFY2(stored.contains(name), qPrintable(QStringLiteral("cycle %1 lost %2").arg(cycle).arg(name)));
    }
    qInfo("%d kills, %d acknowledged events, none lost", kCycles, int(acknowledged.size()));
}

void TestKillWrites::settings()
{
    const QString path = m_dir.filePath(QStringLiteral("gui.conf"));
    int next = 1;
    int total = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const QList<int> acked = runAndKill(QStringLiteral("settings"), path, next, 1000, 1 + (cycle * 7) % 12);
        QVERIFY2(!acked.isEmpty(), "child acknowledged nothing");
        const int last = acked.last();
        total += acked.size();
        next = last + 2;

        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.status(), QSettings::NoError);
        // Every key is still there, the untouched ones with their values.
        for (auto it = manager::keys::defaults().cbegin(); it != manager::keys::defaults().cend(); ++it)
            QVERIFY2(raw.contains(it.key()), qPrintable(QStringLiteral("cycle %1 lost %2").arg(cycle).arg(it.key())));
        QCOMPARE(raw.value(QStringLiteral("mqtt/base")).toString(), QStringLiteral("vexa/ui"));
        // The acknowledged value or the one in flight after it, never an older one.
        Config config(path, manager::keys::defaults());
        const int value = config.get(QStringLiteral("gui/displayOffMin")).toInt();
        QVERIFY2(value == last || value == last + 1,
            qPrintable(QStringLiteral("cycle %1: acknowledged %2, file holds %3").arg(cycle).arg(last).arg(value)));
    }
    qInfo("%d kills, %d acknowledged settings writes, none lost", kCycles, total);
}

QTEST_GUILESS_MAIN(TestKillWrites)
#include "tst_killwrites.moc"
