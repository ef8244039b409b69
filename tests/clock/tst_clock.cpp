#include "Clock.h"
#include "FakeTransport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using manager::Clock;

namespace {

const QString B = QStringLiteral("vexa/device/clock/ntp");

// Stands in for timedatectl: records each call as "[arg][arg]..." in "calls",
// prints the file named after the command if the test wrote one, and hangs when a
// "hang-<command>" file exists. A fake "reboot" beside it leaves a trace if a
// shell ever ran what follows a semicolon.
const char FakeScript[] = R"(#!/bin/sh
here=$(dirname "$0")
{ for a in "$@"; do printf '[%s]' "$a"; done; printf '\n'; } >> "$here/calls"
case "$1" in
  --no-pager) out=zones ;;
  status) out=status ;;
  *) out=set ;;
esac
[ -f "$here/$out" ] && cat "$here/$out"
[ -f "$here/hang-$out" ] && exec sleep 120
exit 0
)";

const char FakeReboot[] = "#!/bin/sh\ntouch \"$(dirname \"$0\")/rebooted\"\n";

const char Status[] = "               Local time: Tue 2026-12-08 17:00:00 EET\n"
                      "           Universal time: Tue 2026-12-08 15:00:00 UTC\n"
                      "                 RTC time: Tue 2026-12-08 15:00:00\n"
                      "                Time zone: %1 (EET, +0200)\n"
                      "System clock synchronized: yes\n"
                      "              NTP service: active\n"
                      "          RTC in local TZ: no\n";

} // namespace

class TestClock : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_oldPath;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    void write(const QString& name, const QByteArray& text, bool executable = false)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        if (executable)
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void setZone(const QString& zone) { write("status", QString::fromLatin1(Status).arg(zone).toUtf8()); }
    QStringList calls() const
    {
        QFile f(path("calls"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        write("timedatectl", FakeScript, true);
        write("reboot", FakeReboot, true);
        write("zones", "Africa/Abidjan\n\nEurope/Athens\nAmerica/Argentina/Buenos_Aires\n");
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", m_dir->path().toLocal8Bit() + ':' + m_oldPath);
    }
    void cleanup()
    {
        qputenv("PATH", m_oldPath);
        m_dir.reset();
    }

    void readsZoneListAndCurrentZone()
    {
        setZone("Europe/Athens");
        FakeMqtt m(false);
        Clock clock(m.client, "vexa/device");
        QCOMPARE(
            clock.timezones(), (QStringList { "Africa/Abidjan", "Europe/Athens", "America/Argentina/Buenos_Aires" }));
        QCOMPARE(clock.timezone(), QString("Europe/Athens"));
        QCOMPARE(calls(), (QStringList { "[--no-pager][list-timezones]", "[status]" }));

        setZone("America/Some Where");
        QCOMPARE(clock.timezone(), QString("America/Some Where"));

        write("status", "System clock synchronized: no\n");
        QCOMPARE(clock.timezone(), QString());
    }

    void setTimezonePassesTheZoneAsOneArgument()
    {
        setZone("Europe/Athens");
        FakeMqtt m(false);
        Clock clock(m.client, "vexa/device");
        QSignalSpy changed(&clock, &Clock::timezoneChanged);

        clock.setTimezone("Europe/Athens");
        QCOMPARE(changed.count(), 0);
        QVERIFY(!calls().contains("[set-timezone][Europe/Athens]"));

        clock.setTimezone("Europe/Athens; reboot");
        clock.setTimezone("America/Some Where");
        QCOMPARE(changed.count(), 2);
        QCOMPARE(calls(),
            (QStringList { "[status]", "[status]", "[set-timezone][Europe/Athens; reboot]", "[status]",
                "[set-timezone][America/Some Where]" }));
        QVERIFY(!QFile::exists(path("rebooted")));
    }

    void noZoneLineStillSets()
    {
        FakeMqtt m(false);
        Clock clock(m.client, "vexa/device");
        QSignalSpy changed(&clock, &Clock::timezoneChanged);
        clock.setTimezone("UTC");
        QCOMPARE(calls().last(), QString("[set-timezone][UTC]"));
        QCOMPARE(changed.count(), 1);
    }

    void hangingTimedatectlIsCutOff()
    {
        setZone("Europe/Athens");
        write("hang-zones", "");
        write("hang-status", "");
        FakeMqtt m(false);
        QElapsedTimer elapsed;
        elapsed.start();
        Clock clock(m.client, "vexa/device");
        // What it printed before hanging is kept.
        QCOMPARE(clock.timezones().size(), 3);
        QCOMPARE(clock.timezone(), QString("Europe/Athens"));
        // The fake would sleep two minutes per call; anything far below that was cut off.
        QVERIFY2(elapsed.elapsed() < 60000, qPrintable(QString::number(elapsed.elapsed())));
    }

    void missingTimedatectlGivesEmptyResults()
    {
        qputenv("PATH", path("nowhere").toLocal8Bit());
        FakeMqtt m(false);
        Clock clock(m.client, "vexa/device");
        QSignalSpy changed(&clock, &Clock::timezoneChanged);
        QVERIFY(clock.timezones().isEmpty());
        QCOMPARE(clock.timezone(), QString());
        clock.setTimezone("Europe/Athens");
        QCOMPARE(changed.count(), 1);
    }

    void ntpOverMqtt()
    {
        FakeMqtt m(false);
        Clock clock(m.client, "vexa/device");
        m.client.connect();
        QCOMPARE(m.transport->subscriptions, (QStringList { B + "/status", B + "/config" }));
        QCOMPARE(m.transport->publishedTopics(), (QStringList { B + "/status/get", B + "/config/get" }));
        QCOMPARE(m.transport->payloadsOn(B + "/status/get"), (QList<QByteArray> { QByteArray() }));

        QSignalSpy server(&clock, &Clock::ntpServerChanged);
        QSignalSpy enabled(&clock, &Clock::ntpEnabledChanged);
        QSignalSpy synced(&clock, &Clock::ntpSyncedChanged);
        m.transport->inject(B + "/config", R"({"enabled": true, "server": "pool.ntp.org"})");
        m.transport->inject(B + "/status", R"({"enabled": true, "synced": true})");
        QCOMPARE(clock.ntpServer(), QString("pool.ntp.org"));
        QVERIFY(clock.ntpEnabled());
        QVERIFY(clock.ntpSynced());
        QCOMPARE(server.count(), 1);
        QCOMPARE(enabled.count(), 1);
        QCOMPARE(synced.count(), 1);

        // Requests carry the other stored value and leave the local one alone.
        m.transport->published.clear();
        clock.setNtpServer("pool.ntp.org");
        clock.setNtpEnabled(true);
        QVERIFY(m.transport->published.isEmpty());
        clock.setNtpServer("ntp.example.org");
        clock.setNtpEnabled(false);
        QCOMPARE(m.transport->payloadsOn(B + "/config/set"),
            (QList<QByteArray> { "{\n    \"enabled\": true,\n    \"server\": \"ntp.example.org\"\n}\n",
                "{\n    \"enabled\": false,\n    \"server\": \"pool.ntp.org\"\n}\n" }));
        QCOMPARE(clock.ntpServer(), QString("pool.ntp.org"));
        QVERIFY(clock.ntpEnabled());

        // A status without "synced" clears it.
        m.transport->inject(B + "/status", R"({"enabled": true})");
        QVERIFY(!clock.ntpSynced());
        QCOMPARE(synced.count(), 2);

        clock.ntpSync();
        QCOMPARE(synced.count(), 3);
        QCOMPARE(m.transport->payloadsOn(B + "/sync"), (QList<QByteArray> { QByteArray() }));

        clock.refresh();
        QCOMPARE(m.transport->publishedTopics().mid(3), (QStringList { B + "/status/get", B + "/config/get" }));
    }

    void badNtpInput()
    {
        FakeMqtt m(false);
        Clock clock(m.client, "vexa/device");
        m.client.connect();
        m.transport->inject(B + "/config", R"({"enabled": true, "server": "pool.ntp.org"})");
        QSignalSpy server(&clock, &Clock::ntpServerChanged);

        QTest::ignoreMessage(QtCriticalMsg, "[Clock] Failed to parse JSON message: {\"server\": ");
        m.transport->inject(B + "/config", "{\"server\": ");
        QTest::ignoreMessage(QtCriticalMsg, "[Clock] Failed to parse JSON message: nonsense");
        m.transport->inject(B + "/other", "nonsense");
        m.transport->inject(B + "/other", R"({"server": "x"})");
        m.transport->inject("vexa/device/status", R"({"server": "x"})");
        QCOMPARE(clock.ntpServer(), QString("pool.ntp.org"));
        QCOMPARE(server.count(), 0);

        // Wrong types read as false and empty.
        m.transport->inject(B + "/config", R"({"enabled": "yes", "server": 123})");
        QVERIFY(!clock.ntpEnabled());
        QCOMPARE(clock.ntpServer(), QString());
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
