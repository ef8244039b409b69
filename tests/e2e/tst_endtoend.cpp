#include "Broker.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
// Generous: the suite runs on busy two-core machines.
const int kTimeout = 20000;
const QString kAudio = QStringLiteral("vexa/inspector/audio/play");
const QString kValidSound = QStringLiteral("/opt/vexa/ticora/Valid.wav");
const QString kInvalidSound = QStringLiteral("/opt/vexa/ticora/Invalid.wav");
} // namespace

// Broker, ticora-sim and ticora as separate processes, as on the device. The steps run
// in declaration order on one running system; each starts from the scan screen.
class TestEndToEnd : public QObject
{
    Q_OBJECT

    struct Request
    {
        QString topic;
        QJsonObject payload;
    };

    std::unique_ptr<Broker> m_broker;
    QTemporaryDir m_dir;
    QProcess m_sim;
    QProcess m_ticora;
    QByteArray m_simPending;
    QByteArray m_ticoraPending;
    QList<Request> m_requests;
    QStringList m_screens;
    QStringList m_ticoraLines;
    QStringList m_simLines;

    static void splitLines(QByteArray& pending, const QByteArray& chunk, const std::function<void(const QString&)>& f)
    {
        pending += chunk;
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            f(QString::fromUtf8(pending.left(nl)));
            pending.remove(0, nl + 1);
        }
    }

    void onSimLine(const QString& line)
    {
        m_simLines.append(line);
        if (!line.startsWith(QLatin1String("REQ ")))
            return;
        const int space = line.indexOf(QLatin1Char(' '), 4);
        Request r;
        r.topic = line.mid(4, space < 0 ? -1 : space - 4);
        if (space >= 0)
            r.payload = QJsonDocument::fromJson(line.mid(space + 1).toUtf8()).object();
        m_requests.append(r);
    }

    void onTicoraLine(const QString& line)
    {
        static const QRegularExpression screenLine(QStringLiteral("\\[GUIManager\\] Setting screen : (\\w+)"));
        m_ticoraLines.append(line);
        const auto match = screenLine.match(line);
        if (match.hasMatch())
            m_screens.append(match.captured(1));
    }

    QString currentScreen() const { return m_screens.isEmpty() ? QString() : m_screens.last(); }
    bool screenShownSince(int mark, const QString& screen) const { return m_screens.mid(mark).contains(screen); }

    QList<Request> requestsSince(int mark, const QString& topic) const
    {
        QList<Request> found;
        for (const Request& r : m_requests.mid(mark))
            if (r.topic == topic)
                found.append(r);
        return found;
    }
    bool requestedSince(int mark, const QString& topic) const { return !requestsSince(mark, topic).isEmpty(); }
    QStringList soundsSince(int mark) const
    {
        QStringList sounds;
        for (const Request& r : requestsSince(mark, kAudio))
            sounds.append(r.payload.value(QStringLiteral("filepath")).toString());
        return sounds;
    }
    bool ticoraLoggedSince(int mark, const QString& text) const
    {
        for (const QString& line : m_ticoraLines.mid(mark))
            if (line.contains(text))
                return true;
        return false;
    }

    void send(const QByteArray& command)
    {
        QVERIFY2(m_sim.state() == QProcess::Running, "the simulator stopped");
        m_sim.write(command + '\n');
    }

    static void stop(QProcess& process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished(kTimeout);
    }

    // Every passenger step begins on the scan screen; a result screen times out to it.
    void waitForScanScreen() { QTRY_COMPARE_WITH_TIMEOUT(currentScreen(), QStringLiteral("ScanScreens"), kTimeout); }

    // One passenger outcome: the sound is requested and the screen shown, then the
    // panel returns to scanning on its own.
    void passenger(const QByteArray& command, const QString& sound, const QString& screen)
    {
        waitForScanScreen();
        const int screens = m_screens.size();
        const int requests = m_requests.size();
        send(command);
        QTRY_VERIFY_WITH_TIMEOUT(screenShownSince(screens, screen), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!soundsSince(requests).isEmpty(), kTimeout);
        QCOMPARE(soundsSince(requests), QStringList { sound });
        // Nothing in between: the outcome is the first screen after the tap.
        QCOMPARE(m_screens.mid(screens).first(), screen);
        waitForScanScreen();
    }

    void backOnline()
    {
        const int requests = m_requests.size();
        send("status online");
        waitForScanScreen();
        QTRY_VERIFY_WITH_TIMEOUT(requestedSince(requests, QStringLiteral("vexa/barcode/enable")), kTimeout);
    }

    // The recorder logs each picture it saves.
    void waitForShot(int mark, const QString& screen)
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            ticoraLoggedSince(
                mark, QStringLiteral("[ScreenRecorder] Screenshot of ") + screen + QStringLiteral(" saved : ")),
            kTimeout);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_broker = std::make_unique<Broker>();
        if (!m_broker->start())
            QSKIP("mosquitto cannot be started here");

        const QString port = QString::number(m_broker->port());
        QFile serial(m_dir.filePath(QStringLiteral("serialnumber")));
        QVERIFY(serial.open(QIODevice::WriteOnly));
        serial.write("E2E-0000001\n");
        serial.close();
        QFile conf(m_dir.filePath(QStringLiteral("gui.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[gui]\ndeviceId=%1\nlocale=en_US\nshutdownDelaySec=120\n"
                                  "[log]\nsyslog=false\nstderr=true\n")
                       .arg(serial.fileName())
                       .toUtf8());
        conf.close();

        connect(&m_sim, &QProcess::readyReadStandardOutput, this, [this] {
            splitLines(m_simPending, m_sim.readAllStandardOutput(), [this](const QString& l) { onSimLine(l); });
        });
        m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sim.start(QStringLiteral(TICORA_SIM_BINARY), { "-H", m_broker->host(), "-P", port });
        QVERIFY(m_sim.waitForStarted(kTimeout));
        QTRY_VERIFY_WITH_TIMEOUT(m_simLines.contains(QStringLiteral("[Sim] Connected to broker; every service "
                                                                    "publishes its state")),
            kTimeout);
        // The validator starts up while the panel does.
        send("status init");

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        env.insert(QStringLiteral("TICORA_SCREENSHOT_DIR"), m_dir.filePath(QStringLiteral("shots")));
        m_ticora.setProcessEnvironment(env);
        m_ticora.setWorkingDirectory(m_dir.path());
        m_ticora.setProcessChannelMode(QProcess::MergedChannels);
        connect(&m_ticora, &QProcess::readyReadStandardOutput, this, [this] {
            splitLines(
                m_ticoraPending, m_ticora.readAllStandardOutput(), [this](const QString& l) { onTicoraLine(l); });
        });
        m_ticora.start(
            QStringLiteral(TICORA_BINARY), { "-f", conf.fileName(), "-e", "-H", m_broker->host(), "-P", port });
        QVERIFY(m_ticora.waitForStarted(kTimeout));
    }

    void cleanupTestCase()
    {
        stop(m_ticora);
        stop(m_sim);
        if (m_broker)
            m_broker->stop();
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            qWarning("ticora's last lines:");
            for (const QString& l : m_ticoraLines.mid(qMax(0, m_ticoraLines.size() - 30)))
                qWarning("  %s", qPrintable(l));
            qWarning("the simulator's last lines (%s):", m_sim.state() == QProcess::Running ? "running" : "stopped");
            for (const QString& l : m_simLines.mid(qMax(0, m_simLines.size() - 30)))
                qWarning("  %s", qPrintable(l));
        }
    }

    void bootWaitsForTheValidatorThenScans()
    {
        QTRY_VERIFY_WITH_TIMEOUT(ticoraLoggedSince(0, QStringLiteral("[MqttClient] Connected to broker")), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticoraLoggedSince(0, QStringLiteral("Validator status changed : init")), kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(currentScreen(), QStringLiteral("Busy"), kTimeout);
        QVERIFY(!m_screens.contains(QStringLiteral("ScanScreens")));

        const int requests = m_requests.size();
        send("status online");
        waitForScanScreen();
        QTRY_VERIFY_WITH_TIMEOUT(requestedSince(requests, QStringLiteral("vexa/rfid/enable")), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(requestedSince(requests, QStringLiteral("vexa/barcode/enable")), kTimeout);

        // The board keeps power 60 s beyond the panel's own shutdown delay (120 s here).
        QTRY_VERIFY_WITH_TIMEOUT(requestedSince(0, QStringLiteral("vexa/board/config/set")), kTimeout);
        const QJsonObject config = requestsSince(0, QStringLiteral("vexa/board/config/set")).last().payload;
        QCOMPARE(
            config.value(QStringLiteral("device")).toObject().value(QStringLiteral("delayShutdownFor")).toInt(), 180);
    }

    void validCard() { passenger("tap valid period", kValidSound, QStringLiteral("Valid")); }

    void refusedTicket()
    {
        const int lines = m_ticoraLines.size();
        passenger("scan refused 101", kInvalidSound, QStringLiteral("Invalid"));
        QVERIFY(ticoraLoggedSince(lines, QStringLiteral("[GUIManager] Valid : false")));
        QVERIFY(ticoraLoggedSince(lines, QStringLiteral("\"denyReasonId\":101")));
    }

    void refusedCard() { passenger("tap refused 102", kInvalidSound, QStringLiteral("Invalid")); }

    void alreadyValidated()
    {
        passenger("tap already", kInvalidSound, QStringLiteral("AlreadyValid"));
        passenger("scan already", kInvalidSound, QStringLiteral("AlreadyValid"));
    }

    void cardRetry() { passenger("card retry", kInvalidSound, QStringLiteral("Retry")); }

    // A validator that cannot reach its back end is out of service; both readers go off.
    void validatorOutOfServiceStopsTheReaders()
    {
        waitForScanScreen();
        const int screens = m_screens.size();
        const int requests = m_requests.size();
        const int lines = m_ticoraLines.size();
        send("status no-route");
        QTRY_COMPARE_WITH_TIMEOUT(currentScreen(), QStringLiteral("OutOfService"), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(requestedSince(requests, QStringLiteral("vexa/rfid/disable")), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(requestedSince(requests, QStringLiteral("vexa/barcode/disable")), kTimeout);
        QVERIFY(!screenShownSince(screens, QStringLiteral("ScanScreens")));
        QVERIFY(!requestedSince(requests, QStringLiteral("vexa/rfid/enable")));
        waitForShot(lines, QStringLiteral("OutOfService"));
        backOnline();
    }

    // A broken card reader puts the panel out of order with the reason code.
    void validatorFaultShowsOutOfOrder()
    {
        waitForScanScreen();
        const int screens = m_screens.size();
        const int requests = m_requests.size();
        const int lines = m_ticoraLines.size();
        send("status no-rfid");
        QTRY_COMPARE_WITH_TIMEOUT(currentScreen(), QStringLiteral("OutOfOrder"), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(requestedSince(requests, QStringLiteral("vexa/barcode/disable")), kTimeout);
        QVERIFY(ticoraLoggedSince(lines, QStringLiteral("[GUIManager] Validator reason changed : #0004")));
        QVERIFY(!screenShownSince(screens, QStringLiteral("ScanScreens")));
        waitForShot(lines, QStringLiteral("OutOfOrder"));
        backOnline();
    }

    void ignitionOffSchedulesShutdownAndOnAbortsIt()
    {
        waitForScanScreen();
        int lines = m_ticoraLines.size();
        send("ignition off");
        QTRY_COMPARE_WITH_TIMEOUT(currentScreen(), QStringLiteral("ScreenSaver"), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(
            ticoraLoggedSince(lines, QStringLiteral("[Inspector] Scheduling System shutdown in : 120 sec(s)")),
            kTimeout);
        QVERIFY(!ticoraLoggedSince(lines, QStringLiteral("Aborting System shutdown")));
        waitForShot(lines, QStringLiteral("ScreenSaver"));

        lines = m_ticoraLines.size();
        send("ignition on");
        QTRY_VERIFY_WITH_TIMEOUT(
            ticoraLoggedSince(lines, QStringLiteral("[Inspector] Aborting System shutdown")), kTimeout);
        waitForScanScreen();
        waitForShot(lines, QStringLiteral("ScanScreens"));
    }

    void screenshotsAreWholeWindowPictures()
    {
        const QDir shots(m_dir.filePath(QStringLiteral("shots")));
        // Result screens last 3 s, far longer than the recorder's settle delay.
        for (const QString& screen : { QStringLiteral("Valid"), QStringLiteral("Invalid"),
                 QStringLiteral("AlreadyValid"), QStringLiteral("Retry"), QStringLiteral("OutOfService"),
                 QStringLiteral("OutOfOrder"), QStringLiteral("ScreenSaver"), QStringLiteral("ScanScreens") }) {
            const QStringList found = shots.entryList({ QStringLiteral("*-") + screen + QStringLiteral(".png") });
            QVERIFY2(!found.isEmpty(), qPrintable(screen));
            const QImage image(shots.filePath(found.first()));
            QVERIFY2(!image.isNull(), qPrintable(screen));
            QCOMPARE(image.size(), QSize(480, 800));
        }
        // Numbered in the order taken: the first result of the run comes before the fault.
        const QStringList all = shots.entryList({ QStringLiteral("*.png") }, QDir::Files, QDir::Name);
        const auto indexOf = [&all](const QString& screen) {
            for (int i = 0; i < all.size(); ++i)
                if (all.at(i).endsWith(QLatin1Char('-') + screen + QLatin1String(".png")))
                    return i;
            return -1;
        };
        QVERIFY(indexOf(QStringLiteral("Valid")) < indexOf(QStringLiteral("OutOfService")));
        QVERIFY(indexOf(QStringLiteral("OutOfService")) < indexOf(QStringLiteral("OutOfOrder")));
        QVERIFY(indexOf(QStringLiteral("OutOfOrder")) < indexOf(QStringLiteral("ScreenSaver")));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
