#include "ClientFixture.h"
#include "Inspector.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using manager::Inspector;

namespace {

const QString B = QStringLiteral("vexa/inspector");

struct Fixture : ClientFixture<Inspector> {
    Inspector& inspector = client;
    Fixture() : ClientFixture(QStringLiteral("[Inspector] "), B) {}
};

} // namespace

class TestInspector : public QObject
{
    Q_OBJECT
private slots:
    void subscribesOnceAndRefreshesOnEveryConnection()
    {
        checkRefreshOnConnection<Inspector>(QStringLiteral("[Inspector] "), B,
            { B + "/info", B + "/status", B + "/audio", B + "/stats/cpu", B + "/stats/memory", B + "/stats/disk" },
            { B + "/audio/get", B + "/stats/memory/get", B + "/stats/disk/get", B + "/stats/cpu/get" });
    }

    void monitorRefreshesUntilStopped()
    {
        Fixture f;
        checkMonitor(f);
    }

    void audioRequestsAreByteExactAndLeaveTheVolumeAlone()
    {
        Fixture f;
        f.inspector.setAudioVolume(40);
        f.inspector.audioPlay("/opt/vexa/ticora/Valid.wav");
        const auto& p = f.m.transport->published;
        QCOMPARE(p.size(), 2);
        QCOMPARE(p[0].topic, B + "/audio/set");
        QCOMPARE(p[0].payload, QByteArray("{\n    \"internal\": {\n        \"volume\": 40\n    }\n}\n"));
        QCOMPARE(p[1].topic, B + "/audio/play");
        QCOMPARE(p[1].payload,
            QByteArray("{\n    \"device\": \"internal\",\n    \"filepath\": \"/opt/vexa/ticora/Valid.wav\"\n}\n"));
        for (const auto& one : p) {
            QCOMPARE(one.qos, quint8(0));
            QCOMPARE(one.retain, false);
        }
        QCOMPARE(f.log.lines(),
            (QStringList { "Setting 'internal' audio volume : 40%",
                "Playing audio file (card='internal') : /opt/vexa/ticora/Valid.wav" }));
        QCOMPARE(f.inspector.audioVolume(), 0);
        QCOMPARE(f.signals_.fired(), QStringList());

        f.inject("/audio", R"({"internal": {"volume": 40}})");
        QCOMPARE(f.inspector.audioVolume(), 40);
        f.inject("/audio", R"({"internal": {"volume": 40}})");
        QCOMPARE(f.signals_.fired(), QStringList { "audioVolumeChanged x1" });
        f.inject("/audio", R"({"internal": {"level": 40}})");
        QCOMPARE(f.inspector.audioVolume(), 0);
        f.inject("/audio", R"({"internal": {"volume": 55}})");
        f.inject("/audio", "");
        QCOMPARE(f.inspector.audioVolume(), 0);
        f.inject("/audio", R"({"internal": {"volume": "70"}})");
        QCOMPARE(f.signals_.fired(), QStringList { "audioVolumeChanged x4" });
        QCOMPARE(f.log.lines().size(), 2); // the audio report itself logs nothing
    }

    void rebootAndShutdownAnnounceAtOnceAndRequestAfterTheDelay()
    {
        Fixture f;
        QCOMPARE(f.inspector.requestDelay(), 2000);
        QSignalSpy reboot(&f.inspector, &Inspector::systemRebootStarted);
        QSignalSpy shutdown(&f.inspector, &Inspector::systemShutdownStarted);
        QElapsedTimer clock;
        clock.start();

        f.inspector.systemReboot();
        QCOMPARE(reboot.size(), 1);
        f.inspector.systemShutdown();
        QCOMPARE(shutdown.size(), 1);
        QVERIFY(f.m.transport->published.isEmpty());
        QCOMPARE(f.log.lines(), (QStringList { "Requesting System reboot", "Requesting System shutdown" }));

        QTRY_COMPARE_WITH_TIMEOUT(f.m.transport->published.size(), 2, 15000);
        QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
        const auto& p = f.m.transport->published;
        QCOMPARE(p[0].topic, B + "/power/reboot/request/1");
        QCOMPARE(p[0].payload, QByteArray());
        QCOMPARE(p[1].topic, B + "/power/shutdown/request/1");
        QCOMPARE(p[1].payload, QByteArray());
        QCOMPARE(p[1].qos, quint8(0));
        QCOMPARE(p[1].retain, false);
    }

    void delayedRequestsAreNotMerged()
    {
        Fixture f;
        f.inspector.setRequestDelay(30);
        f.inspector.systemShutdown();
        f.inspector.systemShutdown();
        f.inspector.systemReboot();
        QTRY_COMPARE_WITH_TIMEOUT(f.m.transport->published.size(), 3, 15000);
        QCOMPARE(f.m.transport->payloadsOn(B + "/power/shutdown/request/1").size(), 2);
        QCOMPARE(f.m.transport->payloadsOn(B + "/power/reboot/request/1").size(), 1);
    }

    void requestSurvivesTheClient()
    {
        // The delayed request must not touch a client that is gone by then.
        FakeMqtt m(false);
        m.client.connect();
        auto* inspector = new Inspector(m.client, B);
        inspector->setRequestDelay(20);
        inspector->systemShutdown();
        delete inspector;
        QTest::qWait(100);
        QVERIFY(m.transport->payloadsOn(B + "/power/shutdown/request/1").isEmpty());
    }

    void secondScheduleNeitherRestartsNorShortens()
    {
        Fixture f;
        QTimer& timer = f.inspector.shutdownTimer();
        f.inspector.scheduleShutdown(60);
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), 60000);
        QVERIFY(timer.isSingleShot());
        const int remaining = timer.remainingTime();

        f.inspector.scheduleShutdown(10);
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), 60000);
        QVERIFY(timer.remainingTime() <= remaining); // not started again
        QVERIFY(timer.remainingTime() > 10000);
        QCOMPARE(f.log.lines(), QStringList { "Scheduling System shutdown in : 60 sec(s)" });

        f.inspector.abortShutdown();
        QVERIFY(!timer.isActive());
        QCOMPARE(f.log.lines().last(), QString("Aborting System shutdown"));
        f.log.clear();
        f.inspector.abortShutdown(); // nothing counting down
        QVERIFY(f.log.lines().isEmpty());

        // After an abort a new schedule counts from its own delay.
        f.inspector.scheduleShutdown(10);
        QCOMPARE(timer.interval(), 10000);
        f.inspector.abortShutdown();

        // Out of the timer's range: still a countdown, not a wrapped interval that never fires.
        f.inspector.scheduleShutdown(3000000);
        QVERIFY(timer.isActive());
        QVERIFY(timer.interval() > 0);
        f.inspector.abortShutdown();
        QCOMPARE(f.signals_.fired(), QStringList());
        QVERIFY(f.m.transport->published.isEmpty());
    }

    void countdownExpiryShutsDown()
    {
        Fixture f;
        f.inspector.setRequestDelay(50);
        QSignalSpy shutdown(&f.inspector, &Inspector::systemShutdownStarted);
        QElapsedTimer clock;
        clock.start();
        f.inspector.scheduleShutdown(1);
        f.inspector.scheduleShutdown(0); // must not bring it forward
        QCOMPARE(shutdown.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(shutdown.size(), 1, 15000);
        QVERIFY2(clock.elapsed() >= 950, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!f.inspector.shutdownTimer().isActive());
        QTRY_COMPARE_WITH_TIMEOUT(
            f.m.transport->payloadsOn(B + "/power/shutdown/request/1"), QList<QByteArray> { QByteArray() }, 15000);
        QCOMPARE(
            f.log.lines(), (QStringList { "Scheduling System shutdown in : 1 sec(s)", "Requesting System shutdown" }));
        QCOMPARE(f.m.transport->published.size(), 1);
    }

    void abortStopsOnlyTheCountdown()
    {
        Fixture f;
        f.inspector.setRequestDelay(100);
        QSignalSpy shutdown(&f.inspector, &Inspector::systemShutdownStarted);
        // The countdown is driven from here: expire it now.
        f.inspector.scheduleShutdown(60);
        f.inspector.shutdownTimer().setInterval(0);
        QTRY_COMPARE_WITH_TIMEOUT(shutdown.size(), 1, 15000);
        // The request already under way is not withdrawn.
        f.inspector.abortShutdown();
        QTRY_COMPARE_WITH_TIMEOUT(f.m.transport->payloadsOn(B + "/power/shutdown/request/1").size(), 1, 15000);
        QVERIFY(!f.log.lines().contains("Aborting System shutdown"));

        // Aborted before expiry: nothing happens at all.
        f.inspector.scheduleShutdown(60);
        f.inspector.abortShutdown();
        QTest::qWait(150); // proving an absence
        QCOMPARE(shutdown.size(), 1);
        QCOMPARE(f.m.transport->published.size(), 1);
    }

    void statusAndInfo()
    {
        Fixture f;
        f.inject("/status", R"({"service": true})");
        f.inject("/status", R"({"service": true, "extra": 1})");
        QCOMPARE(f.inspector.status(), QString("online"));
        QCOMPARE(f.signals_.fired(), QStringList { "statusChanged x1" });
        QCOMPARE(f.log.lines(),
            (QStringList { "Processing status topic vexa/inspector/status", "Status changed : online",
                "Processing status topic vexa/inspector/status" }));
        f.reset();
        f.inject("/status", R"({"service": "true"})");
        QCOMPARE(f.inspector.status(), QString("offline"));
        f.inject("/status", "");
        QCOMPARE(f.signals_.fired(), QStringList { "statusChanged x1" });
        f.reset();

        f.inject("/info", R"({"service": {"version": "3.1.4"}})");
        f.inject("/info", R"({"service": {"version": "3.1.4"}})");
        QCOMPARE(f.inspector.info(), (QVariantMap { { "version", "3.1.4" } }));
        QCOMPARE(f.signals_.fired(), QStringList { "infoChanged x2" });
        QCOMPARE(f.log.lines(),
            (QStringList { "Processing info topic vexa/inspector/info", "Processing info topic vexa/inspector/info" }));
        f.inject("/info", R"({"service": "3.1.4"})");
        QCOMPARE(f.inspector.info(), (QVariantMap { { "version", "" } }));
    }

    void badInputChangesNothing()
    {
        Fixture f;
        f.inject("/status", R"({"service": true})");
        f.inject("/info", R"({"service": {"version": "3.1.4"}})");
        f.inject("/audio", R"({"internal": {"volume": 40}})");
        f.reset();

        for (const char* suffix : { "/info", "/status", "/audio", "/stats/cpu", "/stats/memory", "/stats/disk" })
            f.inject(suffix, "volume=40");
        QCOMPARE(f.log.lines(QtCriticalMsg).size(), 6);
        QCOMPARE(f.log.lines().size(), 6);
        for (const QString& line : f.log.lines())
            QVERIFY2(line.startsWith("Failed to parse JSON message: ") && line.size() > 30, qPrintable(line));
        f.reset();

        // Statistics are requested but not interpreted; foreign topics are not parsed.
        f.inject("/stats/cpu", R"({"load": [0.5, 0.4], "cores": 2})");
        f.inject("/stats/memory", R"({"total": 1024, "free": 512})");
        f.inject("/stats/disk", "");
        f.inject("/audio/get", "{}");
        f.m.transport->inject("vexa/board/status", "not json");
        f.m.transport->inject("vexa/board/audio", R"({"internal": {"volume": 1}})");
        QVERIFY(f.log.lines().isEmpty());
        QCOMPARE(f.signals_.fired(), QStringList());
        QVERIFY(f.inspector.memory().isEmpty());
        QVERIFY(f.inspector.cpu().isEmpty());
        QVERIFY(f.inspector.disks().isEmpty());
        QCOMPARE(f.inspector.status(), QString("online"));
        QCOMPARE(f.inspector.audioVolume(), 40);
        QCOMPARE(f.inspector.info().value("version").toString(), QString("3.1.4"));
    }
};

QTEST_GUILESS_MAIN(TestInspector)
#include "tst_inspector.moc"
