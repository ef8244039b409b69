// A technician's self-test as on the device: broker, simulator and ticora under
// Xvfb, tapped with xdotool, the QR code read off the screen with zbarimg.

#include "Broker.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int kTimeout = 30000;
const QString kDeviceId = QStringLiteral("QR-0000042");
} // namespace

class TestSelfTestQr : public QObject
{
    Q_OBJECT

    std::unique_ptr<Broker> m_broker;
    QTemporaryDir m_dir;
    QProcess m_xvfb, m_sim, m_ticora;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    QString m_log;

    bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program, args);
        const bool done = p.waitForFinished(kTimeout) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (out)
            *out = p.readAllStandardOutput();
        return done;
    }
    // A finger on the 480 x 800 screen.
    void tap(int x, int y, int times = 1)
    {
        QVERIFY(run(QStringLiteral("xdotool"),
            { "mousemove", QString::number(x), QString::number(y), "click", "--repeat", QString::number(times),
                "--delay", "150", "1" }));
    }
    bool logged(const QString& text) const { return m_log.contains(text); }

private slots:
    void initTestCase()
    {
#ifdef TICORA_SANITIZED
        QSKIP("the sanitized program cannot draw through Xvfb's OpenGL");
#endif
        for (const char* tool : { "Xvfb", "xdotool", "import", "zbarimg" })
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP("Xvfb, xdotool, imagemagick or zbar-tools missing (scripts/install-deps.sh)");
        m_broker = std::make_unique<Broker>();
        if (!m_broker->start())
            QSKIP("mosquitto cannot be started here");
        // Xvfb picks a free display and writes its number once it is ready.
        m_xvfb.start(QStringLiteral("Xvfb"), { "-displayfd", "1", "-screen", "0", "480x800x24", "-nolisten", "tcp" });
        QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine() || m_xvfb.state() == QProcess::NotRunning, kTimeout);
        m_env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(m_xvfb.readLine().trimmed()));
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Drawn as on the device, not with the tests' software renderer.
        m_env.remove(QStringLiteral("QT_QUICK_BACKEND"));

        QFile id(m_dir.filePath(QStringLiteral("serialnumber")));
        QFile conf(m_dir.filePath(QStringLiteral("gui.conf")));
        QVERIFY(id.open(QIODevice::WriteOnly) && id.write(kDeviceId.toUtf8() + '\n') > 0);
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[gui]\ndeviceId=" + id.fileName().toUtf8() + "\nlocale=en_US\n[log]\nsyslog=false\nstderr=true\n");
        id.close();
        conf.close();

        const QStringList broker { "-H", m_broker->host(), "-P", QString::number(m_broker->port()) };
        m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sim.start(QStringLiteral(TICORA_SIM_BINARY), broker);
        m_ticora.setProcessEnvironment(m_env);
        m_ticora.setWorkingDirectory(m_dir.path());
        m_ticora.setProcessChannelMode(QProcess::MergedChannels);
        connect(&m_ticora, &QProcess::readyReadStandardOutput, this,
            [this] { m_log += QString::fromUtf8(m_ticora.readAllStandardOutput()); });
        m_ticora.start(QStringLiteral(TICORA_BINARY), QStringList { "-f", conf.fileName(), "-e" } + broker);
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("Setting screen : ScanScreens")), kTimeout);
    }

    void cleanupTestCase()
    {
        for (QProcess* p : { &m_ticora, &m_sim, &m_xvfb }) {
            p->kill();
            p->waitForFinished(kTimeout);
        }
        if (m_broker)
            m_broker->stop();
    }

    void finishShowsTheSummaryAsAReadableQrCode()
    {
        tap(380, 60, 3); // the header clock
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("Setting screen : Login")), kTimeout);
        // 7391 on the phone-layout pad, then LOGIN.
        for (const QPoint key : { QPoint(114, 495), QPoint(362, 341), QPoint(362, 495), QPoint(114, 341) })
            tap(key.x(), key.y());
        tap(240, 653);
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("Setting screen : Settings")), kTimeout);
        tap(240, 207); // the second menu row
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("[Diagnostics] Starting Diagnostic check")), kTimeout);
        // FINISH, bottom right; a tap while the page still slides in is lost.
        QDeadlineTimer deadline(kTimeout);
        while (!logged(QStringLiteral("Saving Diagnostics report")) && !deadline.hasExpired()) {
            tap(390, 751);
            if (QTest::qWaitFor([this] { return logged(QStringLiteral("Saving Diagnostics report")); }, 3000))
                break;
        }

        const QString shot = m_dir.filePath(QStringLiteral("screen.png"));
        QByteArray decoded;
        QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("import"), { "-window", "root", shot })
                && run(QStringLiteral("zbarimg"), { "--nodbus", "--quiet", "--raw", shot }, &decoded),
            kTimeout);
        const QStringList fields = QString::fromUtf8(decoded).trimmed().split(QLatin1Char(';'));
        QCOMPARE(fields.size(), 35);
        QCOMPARE(fields.at(0), kDeviceId);
        // The date of the report saved beside it; the results as the sim reports them.
        const QStringList reports = QDir(m_dir.path()).entryList({ QStringLiteral("TestReport_*.txt") });
        QCOMPARE(reports.size(), 1);
        QCOMPARE(QDateTime::fromString(fields.at(1), QStringLiteral("yyyy-MM-dd hh:mm"))
                     .toString(QStringLiteral("'TestReport_'yyyyMMdd_hhmm'.txt'")),
            reports.first());
        QCOMPARE(fields.at(21), QStringLiteral("OK")); // ignition on
        QCOMPARE(fields.at(30), QStringLiteral("OK")); // board service online
    }
};

QTEST_GUILESS_MAIN(TestSelfTestQr)
#include "tst_selftestqr.moc"
