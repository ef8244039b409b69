#include "Broker.h"
#include "TopicRecorder.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int kTimeout = 30000;

// Exit code (-1 if it did not end normally) and standard output; standard error after a '\0'.
QPair<int, QByteArray> run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    const bool ended = p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit;
    return { ended ? p.exitCode() : -1, p.readAllStandardOutput() + '\0' + p.readAllStandardError() };
}
} // namespace

// The Debian package as a device gets it: built by CPack, unpacked into an empty root,
// and the unpacked program started there.
class TestPackage : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_root;

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
            QSKIP("dpkg-dev is needed to build the package");
        const QString out = m_dir.filePath(QStringLiteral("out"));
        const auto cpack = run(QStringLiteral(TICORA_CPACK),
            { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                QStringLiteral(TICORA_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out });
        QVERIFY2(cpack.first == 0, cpack.second.constData());
        const QStringList debs = QDir(out).entryList({ QStringLiteral("*.deb") });
        QCOMPARE(debs.size(), 1);
        const QString deb = QDir(out).filePath(debs.first());
        // Libraries come from the binaries; QML modules are loaded at run time and listed by hand.
        const QByteArray depends
            = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-f"), deb, QStringLiteral("Depends") }).second;
        for (const char* package :
            { "libmosquitto1", "libqt5quick5", "qml-module-qtquick-controls2", "qml-module-qtgraphicaleffects" })
            QVERIFY2(depends.contains(package), depends.constData());
        m_root = m_dir.filePath(QStringLiteral("root"));
        QCOMPARE(run(QStringLiteral("dpkg-deb"), { QStringLiteral("-x"), deb, m_root }).first, 0);
    }

    void serviceUnitNamesWhatThePackageHolds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("paths");
        QTest::newRow("panel") << QStringLiteral("ticora.service") << 3;
        QTest::newRow("depot web service") << QStringLiteral("ticora-fleet.service") << 2;
    }

    void serviceUnitNamesWhatThePackageHolds()
    {
        QFETCH(QString, name);
        QFETCH(int, paths);
        for (const char* path : { "/opt/vexa/ticora/Valid.wav", "/opt/vexa/ticora/Invalid.wav", "/usr/bin/ticora-sim",
                 "/usr/bin/ticora-fleet", "/usr/share/doc/ticora/examples/ticora-bridge.conf",
                 "/usr/share/man/man1/ticora.1.gz", "/usr/share/man/man1/ticora-fleet.1.gz" })
            QVERIFY2(QFile::exists(m_root + QLatin1String(path)), path);
        QFile unit(m_root + QStringLiteral("/usr/lib/systemd/system/") + name);
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(unit.readAll());
        const QRegularExpression path(QStringLiteral("(?:ExecStart=|EnvironmentFile=-?|install -m 600 )(/\\S+)"));
        int found = 0;
        for (auto it = path.globalMatch(text); it.hasNext(); ++found) {
            const QString named = it.next().captured(1);
            QVERIFY2(QFile::exists(m_root + named), qPrintable(named));
        }
        QCOMPARE(found, paths);

        // Checked against this machine's systemd, with the program found in the unpacked root.
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed");
        text.replace(QStringLiteral("ExecStart=/"), QStringLiteral("ExecStart=") + m_root + QLatin1Char('/'));
        text.replace(
            QStringLiteral("EnvironmentFile=/"), QStringLiteral("EnvironmentFile=") + m_root + QLatin1Char('/'));
        QFile copy(m_dir.filePath(name));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(text.toUtf8()) > 0);
        copy.close();
        const auto verify = run(analyze, { QStringLiteral("verify"), QStringLiteral("--man=no"), copy.fileName() });
        // Directives it cannot parse are only warned about, with success.
        const QByteArray said = QByteArray(verify.second).replace('\0', "").trimmed();
        QVERIFY2(verify.first == 0 && said.isEmpty(), said.constData());
    }

    // The depot's web service: its environment file holds the depot login and the page's token.
    void fleetServiceFilesArePackaged()
    {
        QVERIFY(QFile::exists(m_root + QStringLiteral("/usr/share/doc/ticora/examples/prometheus-ticora-fleet.yml")));
        QFile env(m_root + QStringLiteral("/etc/default/ticora-fleet"));
        QVERIFY(env.exists());
        QCOMPARE(env.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
        QFile dashboard(m_root + QStringLiteral("/usr/share/doc/ticora/examples/grafana-ticora-fleet.json"));
        QVERIFY(dashboard.open(QIODevice::ReadOnly));
        QVERIFY(QJsonDocument::fromJson(dashboard.readAll()).object().contains(QStringLiteral("panels")));
    }

    void unpackedProgramStartsHeadless()
    {
        const QString ticora = m_root + QStringLiteral("/usr/bin/ticora");
        QVERIFY(run(ticora, { QStringLiteral("--version") }).second.startsWith("Ticora " TICORA_VERSION "\n"));

        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(broker.port(), QStringLiteral("vexa/ui/#"));
        // Subscribed once our own message comes back.
        QTRY_VERIFY_WITH_TIMEOUT(
            watch.client.publish("{}", QStringLiteral("vexa/ui/probe")) && watch.count > 0, kTimeout);
        const QString state = m_dir.filePath(QStringLiteral("state"));
        QVERIFY(QDir().mkpath(state));
        QVERIFY(
            QFile::copy(m_root + QStringLiteral("/usr/share/ticora/gui.conf"), state + QStringLiteral("/gui.conf")));
        QProcess p;
        startTicora(p, ticora, state, broker.port());

        QTRY_COMPARE_WITH_TIMEOUT(watch.json(QStringLiteral("vexa/ui/info"))[QStringLiteral("version")].toString(),
            QStringLiteral(TICORA_VERSION), kTimeout);
        // It runs on the packaged settings file and keeps its event log beside it.
        QTRY_VERIFY_WITH_TIMEOUT(watch.last.contains(QStringLiteral("vexa/ui/config")), kTimeout);
        const QJsonObject log = watch.json(QStringLiteral("vexa/ui/config")).value(QStringLiteral("log")).toObject();
        QCOMPARE(log.value(QStringLiteral("stderr")).toVariant().toString(), QStringLiteral("false"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(state + QStringLiteral("/events.ini")), kTimeout);
        QCOMPARE(p.state(), QProcess::Running);
        p.kill();
        p.waitForFinished(kTimeout);
    }
};

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
