// A technician's whole visit to the self-test, as on the device: broker, simulator
// and ticora under Xvfb, driven by taps on the screen, and the QR code read back
// off the screen by a barcode reader.

#include "Broker.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
// Generous: the suite runs on busy two-core machines.
const int kTimeout = 30000;
const QString kDeviceId = QStringLiteral("QR-0000042");

// Where a technician's finger lands on the 480 x 800 screen.
struct Point
{
    int x;
    int y;
};
// The header clock (top right); three quick taps open the login.
const Point kClock { 380, 60 };
// The login number pad in its phone layout, centred under the header, and LOGIN.
Point padKey(QChar digit)
{
    static const QString order = QStringLiteral("123456789.0");
    const int index = order.indexOf(digit);
    return { 55 + 59 + (index % 3) * 124, 306 + 35 + (index / 3) * 77 };
}
const Point kLogin { 240, 653 };
// The second row of the settings menu; FINISH, bottom right of the check grid.
const Point kDiagnosticsRow { 240, 207 };
const Point kFinish { 390, 751 };
} // namespace

class TestSelfTestQr : public QObject
{
    Q_OBJECT

    std::unique_ptr<Broker> m_broker;
    QTemporaryDir m_dir;
    QProcess m_xvfb;
    QProcess m_sim;
    QProcess m_ticora;
    QString m_display;
    QStringList m_log;
    QByteArray m_pending;

    bool logged(const QString& text) const
    {
        for (const QString& line : m_log)
            if (line.contains(text))
                return true;
        return false;
    }

    QProcessEnvironment displayEnv() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(displayEnv());
        p.start(program, args);
        if (!p.waitForFinished(kTimeout))
            return false;
        if (out)
            *out = p.readAllStandardOutput();
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    void tap(Point at, int times = 1)
    {
        QVERIFY(run(QStringLiteral("xdotool"),
            { "mousemove", QString::number(at.x), QString::number(at.y), "click", "--repeat", QString::number(times),
                "--delay", "150", "1" }));
    }

    void waitForScreen(const QString& screen)
    {
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("[GUIManager] Setting screen : ") + screen), kTimeout);
    }

    static void stop(QProcess& process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(kTimeout);
        }
    }

private slots:
    void initTestCase()
    {
        for (const char* tool : { "Xvfb", "xdotool", "import", "zbarimg" })
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(tool)));
        m_broker = std::make_unique<Broker>();
        if (!m_broker->start())
            QSKIP("mosquitto cannot be started here");

        // Xvfb chooses a free display itself and writes its number when it is ready.
        m_xvfb.start(QStringLiteral("Xvfb"), { "-displayfd", "1", "-screen", "0", "480x800x24", "-nolisten", "tcp" });
        QVERIFY(m_xvfb.waitForStarted(kTimeout));
        QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine() || m_xvfb.state() != QProcess::Running, kTimeout);
        const QByteArray number = m_xvfb.readLine().trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb did not start");
        m_display = QStringLiteral(":") + QString::fromLatin1(number);

        const QString port = QString::number(m_broker->port());
        QFile serial(m_dir.filePath(QStringLiteral("serialnumber")));
        QVERIFY(serial.open(QIODevice::WriteOnly));
        serial.write(kDeviceId.toUtf8() + '\n');
        serial.close();
        QFile conf(m_dir.filePath(QStringLiteral("gui.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[gui]\ndeviceId=%1\nlocale=en_US\n[log]\nsyslog=false\nstderr=true\n")
                       .arg(serial.fileName())
                       .toUtf8());
        conf.close();

        m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sim.start(QStringLiteral(TICORA_SIM_BINARY), { "-H", m_broker->host(), "-P", port });
        QVERIFY(m_sim.waitForStarted(kTimeout));

        QProcessEnvironment env = displayEnv();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Drawn as on the device (OpenGL, here Mesa's), not with the test's software renderer.
        env.remove(QStringLiteral("QT_QUICK_BACKEND"));
        m_ticora.setProcessEnvironment(env);
        m_ticora.setWorkingDirectory(m_dir.path());
        m_ticora.setProcessChannelMode(QProcess::MergedChannels);
        connect(&m_ticora, &QProcess::readyReadStandardOutput, this, [this] {
            m_pending += m_ticora.readAllStandardOutput();
            int nl;
            while ((nl = m_pending.indexOf('\n')) >= 0) {
                m_log.append(QString::fromUtf8(m_pending.left(nl)));
                m_pending.remove(0, nl + 1);
            }
        });
        m_ticora.start(
            QStringLiteral(TICORA_BINARY), { "-f", conf.fileName(), "-e", "-H", m_broker->host(), "-P", port });
        QVERIFY(m_ticora.waitForStarted(kTimeout));
        waitForScreen(QStringLiteral("ScanScreens"));
        if (QTest::currentTestFailed())
            cleanup();
    }

    void cleanupTestCase()
    {
        stop(m_ticora);
        stop(m_sim);
        stop(m_xvfb);
        if (m_broker)
            m_broker->stop();
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            qWarning("ticora's last lines:");
            for (const QString& l : m_log.mid(qMax(0, m_log.size() - 30)))
                qWarning("  %s", qPrintable(l));
        }
    }

    void finishShowsTheSummaryAsAReadableQrCode()
    {
        tap(kClock, 3);
        waitForScreen(QStringLiteral("Login"));
        for (QChar digit : QStringLiteral("7391"))
            tap(padKey(digit));
        tap(kLogin);
        waitForScreen(QStringLiteral("Settings"));
        tap(kDiagnosticsRow);
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("[Diagnostics] Starting Diagnostic check")), kTimeout);
        // The page takes taps once it has slid in; until then a tap is lost.
        const QString saving = QStringLiteral("[Diagnostics] Saving Diagnostics report to : ");
        QDeadlineTimer deadline(kTimeout);
        while (!logged(saving) && !deadline.hasExpired()) {
            tap(kFinish);
            if (QTest::qWaitFor([&] { return logged(saving); }, 3000))
                break;
        }
        QVERIFY(logged(saving));

        // Read off the screen, as a phone would, until the pop-up has been drawn.
        const QString shot = m_dir.filePath(QStringLiteral("screen.png"));
        QByteArray decoded;
        QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("import"), { "-window", "root", shot })
                && run(QStringLiteral("zbarimg"), { "--nodbus", "--quiet", "--raw", shot }, &decoded),
            kTimeout);
        const QString text = QString::fromUtf8(decoded).trimmed();
        const QStringList fields = text.split(QLatin1Char(';'));
        QCOMPARE(fields.size(), 35);
        QCOMPARE(fields.at(0), kDeviceId);

        // The same moment and results as the report saved beside it.
        const QStringList reports = QDir(m_dir.path()).entryList({ QStringLiteral("TestReport_*.txt") });
        QCOMPARE(reports.size(), 1);
        QFile report(m_dir.filePath(reports.first()));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString body = QString::fromUtf8(report.readAll());
        const auto value = [&body](const QString& label) {
            const QRegularExpression line(
                QStringLiteral("^ ") + QRegularExpression::escape(label) + QStringLiteral(" +(.*)$"),
                QRegularExpression::MultilineOption);
            return line.match(body).captured(1);
        };
        QCOMPARE(fields.at(1), value(QStringLiteral("Date")));
        QCOMPARE(fields.at(2), value(QStringLiteral("SAM")));
        QCOMPARE(fields.at(9), value(QStringLiteral("RTC")));
        QCOMPARE(fields.at(21), value(QStringLiteral("Ignition")));
        QCOMPARE(fields.at(30), value(QStringLiteral("Board Manager")));
    }
};

QTEST_GUILESS_MAIN(TestSelfTestQr)
#include "tst_selftestqr.moc"
