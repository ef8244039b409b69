#include "Broker.h"
#include "TopicRecorder.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int kTimeout = 30000;
const QString kSerial = QStringLiteral("K12345678");
const QString kUnitPassword = QStringLiteral("unit-secret");
const QString kDepotPassword = QStringLiteral("depot-secret");

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The shipped bridge example as a unit would install it, pointed at the test's depot
// broker with TLS left out.
QString bridgeConfig(quint16 depotPort)
{
    QStringList out;
    const QStringList lines
        = readAll(QStringLiteral(TICORA_FLEET_EXAMPLES "/ticora-bridge.conf")).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.startsWith(QLatin1String("bridge_cafile")) || line.startsWith(QLatin1String("bridge_certfile"))
            || line.startsWith(QLatin1String("bridge_keyfile")) || line.startsWith(QLatin1String("bridge_tls_version")))
            continue;
        if (line.startsWith(QLatin1String("address ")))
            line = QStringLiteral("address 127.0.0.1:%1").arg(depotPort);
        line.replace(QLatin1String("SERIAL"), kSerial).replace(QLatin1String("CHANGE-ME"), kUnitPassword);
        out << line;
    }
    return out.join(QLatin1Char('\n'));
}
} // namespace

// One unit (its broker with the shipped bridge example, and the real panel) and the
// depot broker with per-unit logins and the shipped access list, all on loopback.
class TestFleetBridge : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_ticora;

    int runFleet(const QStringList& args, QByteArray* out, quint16 port)
    {
        QProcess fleet;
        fleet.start(QStringLiteral(TICORA_FLEET_BINARY),
            QStringList { QStringLiteral("-P"), QString::number(port), QStringLiteral("-u"), QStringLiteral("depot"),
                QStringLiteral("-p"), kDepotPassword, QStringLiteral("--wait"), QStringLiteral("30") }
                + args);
        if (!fleet.waitForFinished(60000))
            return -1;
        *out = fleet.readAllStandardOutput();
        return fleet.exitCode();
    }

private slots:
    void unitIsWatchedAndConfiguredFromTheDepot()
    {
        QVERIFY(m_dir.isValid());
        // The depot: each unit logs in with its serial number; the ACL keeps it to its prefix.
        const QString passwd = m_dir.filePath(QStringLiteral("depot.passwd"));
        {
            QFile f(passwd);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("%1:%2\ndepot:%3\n").arg(kSerial, kUnitPassword, kDepotPassword).toUtf8());
        }
        QProcess hash;
        hash.start(
            QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")), { QStringLiteral("-U"), passwd });
        if (!hash.waitForFinished(20000) || hash.exitCode() != 0)
            QSKIP("mosquitto_passwd is not available");
        Broker depot(QStringLiteral("password_file %1\nacl_file %2\n")
                         .arg(passwd, QStringLiteral(TICORA_FLEET_EXAMPLES "/ticora-fleet.acl")));
        if (!depot.start())
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(depot.port(), QStringLiteral("fleet/#"), QStringLiteral("depot"), kDepotPassword);

        Broker unit(bridgeConfig(depot.port()));
        QVERIFY(unit.start());
        const QString prefix = QStringLiteral("fleet/") + kSerial;
        // The bridge announces itself (retained) once it is logged in at the depot.
        QTRY_COMPARE_WITH_TIMEOUT(watch.lastRaw(prefix + QStringLiteral("/bridge")), QByteArray("1"), kTimeout);

        const QString conf = m_dir.filePath(QStringLiteral("gui.conf"));
        {
            QSettings s(conf, QSettings::IniFormat);
            s.setValue(QStringLiteral("gui/deviceId"), m_dir.filePath(QStringLiteral("serialnumber")));
            s.setValue(QStringLiteral("gui/locale"), QStringLiteral("en_US"));
        }
        m_ticora.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TICORA_EVENT_LOG"), m_dir.filePath(QStringLiteral("events.ini")));
        m_ticora.setProcessEnvironment(env);
        m_ticora.start(QStringLiteral(TICORA_BINARY),
            { QStringLiteral("-f"), conf, QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-P"),
                QString::number(unit.port()) });
        QVERIFY(m_ticora.waitForStarted(kTimeout));

        // Info and status cross the bridge under the unit's prefix.
        QTRY_COMPARE_WITH_TIMEOUT(
            watch.last(prefix + QStringLiteral("/info")).value(QStringLiteral("version")).toString(),
            QStringLiteral(TICORA_VERSION), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(
            watch.last(prefix + QStringLiteral("/status")).value(QStringLiteral("service")).toBool(), kTimeout);
        // Nothing but the panel's own topics leaves the unit.
        for (const auto& m : qAsConst(watch.messages))
            QVERIFY2(QRegularExpression(QStringLiteral("^fleet/K12345678/(info|status|config|bridge)$"))
                         .match(m.first)
                         .hasMatch(),
                qPrintable(m.first));

        // The fleet view asks the unit itself (requests travel in) and reports it.
        QByteArray out;
        QCOMPARE(runFleet({ QStringLiteral("--once") }, &out, depot.port()), 0);
        const QStringList fields = QString::fromUtf8(out).simplified().split(QLatin1Char(' '));
        QVERIFY2(fields.size() >= 3, out.constData());
        QCOMPARE(
            fields.mid(0, 3), (QStringList { kSerial, QStringLiteral("running"), QStringLiteral(TICORA_VERSION) }));

        // A change sent to the unit's prefix lands in its settings file.
        QCOMPARE(runFleet({ QStringLiteral("--set"), QStringLiteral("gui/displayOffMin=7"), QStringLiteral("--unit"),
                              kSerial },
                     &out, depot.port()),
            0);
        QTRY_COMPARE_WITH_TIMEOUT(
            QSettings(conf, QSettings::IniFormat).value(QStringLiteral("gui/displayOffMin")).toInt(), 7, kTimeout);

        // A panel that dies leaves its will, and the depot hears it.
        const int before = watch.messages.size();
        m_ticora.kill();
        QVERIFY(m_ticora.waitForFinished(kTimeout));
        QTRY_VERIFY_WITH_TIMEOUT(watch.messages.size() > before
                && watch.lastRaw(prefix + QStringLiteral("/status")) == R"({"service": false})",
            kTimeout);
        // It cannot answer any more: the view gives up waiting and shows the will.
        QCOMPARE(
            runFleet({ QStringLiteral("--once"), QStringLiteral("--wait"), QStringLiteral("3") }, &out, depot.port()),
            0);
        QVERIFY2(QString::fromUtf8(out).simplified().startsWith(kSerial + QStringLiteral(" stopped")), out.constData());
    }

    void cleanup()
    {
        if (m_ticora.state() != QProcess::NotRunning) {
            m_ticora.kill();
            m_ticora.waitForFinished(kTimeout);
        }
    }
};

QTEST_MAIN(TestFleetBridge)
#include "tst_fleetbridge.moc"
