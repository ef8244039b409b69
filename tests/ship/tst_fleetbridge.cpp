#include "Broker.h"
#include "TopicRecorder.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int kTimeout = 30000;
const QString kSerial = QStringLiteral("K12345678");
const QString kPrefix = QStringLiteral("fleet/K12345678");

// The shipped bridge example as a unit would install it, pointed at the test's depot with TLS left out.
QString bridgeConfig(quint16 depotPort)
{
    QFile f(QStringLiteral(TICORA_FLEET_EXAMPLES "/ticora-bridge.conf"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    text.remove(QRegularExpression(
        QStringLiteral("^bridge_(cafile|certfile|keyfile|tls_version) .*$"), QRegularExpression::MultilineOption));
    text.replace(QRegularExpression(QStringLiteral("^address .*$"), QRegularExpression::MultilineOption),
        QStringLiteral("address 127.0.0.1:%1").arg(depotPort));
    return text.replace(QLatin1String("SERIAL"), kSerial)
        .replace(QLatin1String("CHANGE-ME"), QLatin1String("unit-secret"));
}

// ticora-fleet logged in at the depot; its exit code and output.
QPair<int, QString> fleet(quint16 port, const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(TICORA_FLEET_BINARY),
        QStringList { QStringLiteral("-P"), QString::number(port), QStringLiteral("-u"), QStringLiteral("depot"),
            QStringLiteral("-p"), QStringLiteral("depot-secret"), QStringLiteral("--wait"), QStringLiteral("30") }
            + args);
    const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
    return { ended ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()).simplified() };
}
} // namespace

// One unit (its broker with the shipped bridge example, and the real panel) and the depot
// broker with per-unit logins and the shipped access list, all on loopback.
class TestFleetBridge : public QObject
{
    Q_OBJECT

private slots:
    void unitIsWatchedAndConfiguredFromTheDepot()
    {
        QTemporaryDir dir;
        const QString passwd = dir.filePath(QStringLiteral("passwd"));
        {
            QFile f(passwd);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("%1:unit-secret\ndepot:depot-secret\n").arg(kSerial).toUtf8());
        }
        QProcess hash;
        hash.start(
            QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")), { QStringLiteral("-U"), passwd });
        if (!hash.waitForFinished(kTimeout) || hash.exitCode() != 0)
            QSKIP("mosquitto_passwd is not available");
        Broker depot(
            QStringLiteral("password_file %1\nacl_file " TICORA_FLEET_EXAMPLES "/ticora-fleet.acl\n").arg(passwd));
        if (!depot.start())
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(
            depot.port(), QStringLiteral("fleet/#"), QStringLiteral("depot"), QStringLiteral("depot-secret"));
        Broker unit(bridgeConfig(depot.port()));
        QVERIFY(unit.start());
        // Retained at the depot once the bridge has logged in.
        QTRY_COMPARE_WITH_TIMEOUT(watch.last.value(kPrefix + QStringLiteral("/bridge")), QByteArray("1"), kTimeout);

        QSettings(dir.filePath(QStringLiteral("gui.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("gui/deviceId"), dir.filePath(QStringLiteral("serialnumber")));
        QProcess ticora;
        startTicora(ticora, QStringLiteral(TICORA_BINARY), dir.path(), unit.port());

        QTRY_COMPARE_WITH_TIMEOUT(watch.json(kPrefix + QStringLiteral("/info"))[QStringLiteral("version")].toString(),
            QStringLiteral(TICORA_VERSION), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(
            watch.json(kPrefix + QStringLiteral("/status"))[QStringLiteral("service")].toBool(), kTimeout);
        // Only the panel's own topics leave the unit.
        const QRegularExpression own(QStringLiteral("^fleet/K12345678/(info|status|config|health|bridge)$"));
        for (const QString& topic : watch.last.keys())
            QVERIFY2(own.match(topic).hasMatch(), qPrintable(topic));

        // The fleet view asks the unit itself (requests travel in) and reports it.
        const auto once = fleet(depot.port(), { QStringLiteral("--once") });
        QCOMPARE(once.first, 0);
        QVERIFY2(
            once.second.startsWith(kSerial + QStringLiteral(" running " TICORA_VERSION " ")), qPrintable(once.second));

        // A change sent to the unit's prefix lands in its settings file.
        QCOMPARE(
            fleet(depot.port(),
                { QStringLiteral("--set"), QStringLiteral("gui/displayOffMin=7"), QStringLiteral("--unit"), kSerial })
                .first,
            0);
        QTRY_COMPARE_WITH_TIMEOUT(QSettings(dir.filePath(QStringLiteral("gui.conf")), QSettings::IniFormat)
                                      .value(QStringLiteral("gui/displayOffMin"))
                                      .toInt(),
            7, kTimeout);

        // A panel that dies leaves its will, and the depot hears it; the view stops waiting for it.
        ticora.kill();
        QVERIFY(ticora.waitForFinished(kTimeout));
        QTRY_COMPARE_WITH_TIMEOUT(
            watch.last.value(kPrefix + QStringLiteral("/status")), QByteArray(R"({"service": false})"), kTimeout);
        QVERIFY(fleet(depot.port(), { QStringLiteral("--once"), QStringLiteral("--wait"), QStringLiteral("3") })
                    .second.startsWith(kSerial + QStringLiteral(" stopped ")));
    }
};

QTEST_MAIN(TestFleetBridge)
#include "tst_fleetbridge.moc"
