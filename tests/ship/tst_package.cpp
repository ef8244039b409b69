#include "Broker.h"
#include "TopicRecorder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int kTimeout = 30000;

struct Run
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString& program, const QStringList& args, const QString& dir = QString(), int timeout = 600000)
{
    QProcess p;
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    Run r;
    if (p.waitForStarted(kTimeout) && p.waitForFinished(timeout) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
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
        QVERIFY(m_dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
            QSKIP("dpkg-deb and dpkg-shlibdeps (dpkg-dev) are needed");
        const QString out = m_dir.filePath(QStringLiteral("out"));
        const Run cpack = run(QStringLiteral(TICORA_CPACK),
            { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                QStringLiteral(TICORA_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out },
            QStringLiteral(TICORA_BUILD_DIR));
        QVERIFY2(cpack.code == 0, (cpack.out + cpack.err).constData());
        const QStringList debs = QDir(out).entryList({ QStringLiteral("*.deb") }, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = QDir(out).filePath(debs.first());

        // Libraries come from the binaries; QML modules are loaded at run time and listed by hand.
        const Run depends = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-f"), deb, QStringLiteral("Depends") });
        QCOMPARE(depends.code, 0);
        for (const char* package : { "libmosquitto1", "libqt5quick5", "qml-module-qtquick-controls2",
                 "qml-module-qtgraphicaleffects", "qml-module-qtquick-layouts" })
            QVERIFY2(depends.out.contains(package), depends.out.constData());

        m_root = m_dir.filePath(QStringLiteral("root"));
        const Run unpack = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-x"), deb, m_root });
        QVERIFY2(unpack.code == 0, unpack.err.constData());
    }

    void layoutIsWhatTheServiceExpects()
    {
        for (const char* path : { "/opt/vexa/ticora/Valid.wav", "/opt/vexa/ticora/Invalid.wav", "/usr/bin/ticora-sim",
                 "/usr/bin/ticora-fleet", "/etc/default/ticora", "/usr/share/ticora/gui.conf",
                 "/usr/share/doc/ticora/examples/ticora-bridge.conf" })
            QVERIFY2(QFile::exists(m_root + QLatin1String(path)), path);
        const QString unitPath = m_root + QStringLiteral("/usr/lib/systemd/system/ticora.service");
        QFile unit(QFile::exists(unitPath) ? unitPath : m_root + QStringLiteral("/lib/systemd/system/ticora.service"));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(unit.readAll());
        // Every absolute path the unit names is in the package (the shell excepted).
        const QRegularExpression path(QStringLiteral("(?:ExecStart|EnvironmentFile)=-?(/\\S+)|cp (/\\S+)"));
        int found = 0;
        for (auto it = path.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            const QString p = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
            QVERIFY2(QFile::exists(m_root + p), qPrintable(p));
            ++found;
        }
        QCOMPARE(found, 3);
    }

    void unpackedProgramStartsHeadless()
    {
        const QString ticora = m_root + QStringLiteral("/usr/bin/ticora");
        const Run version = run(ticora, { QStringLiteral("--version") });
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out.trimmed(), QByteArray("Ticora " TICORA_VERSION));

        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(broker.port(), QStringLiteral("vexa/ui/#"));
        QTRY_VERIFY_WITH_TIMEOUT(watch.up, kTimeout);
        // Subscribed once our own message comes back.
        QTRY_VERIFY_WITH_TIMEOUT((watch.client.publish("{}", QStringLiteral("vexa/ui/probe")),
                                     !watch.lastRaw(QStringLiteral("vexa/ui/probe")).isEmpty()),
            kTimeout);

        // As the service unit starts it: a state folder seeded with the packaged settings.
        const QString state = m_dir.filePath(QStringLiteral("state"));
        QVERIFY(QDir().mkpath(state));
        QVERIFY(
            QFile::copy(m_root + QStringLiteral("/usr/share/ticora/gui.conf"), state + QStringLiteral("/gui.conf")));
        QProcess p;
        p.setWorkingDirectory(state);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        env.insert(QStringLiteral("TICORA_EVENT_LOG"), state + QStringLiteral("/events.ini"));
        p.setProcessEnvironment(env);
        p.start(ticora,
            { QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-P"),
                QString::number(broker.port()) });
        QVERIFY(p.waitForStarted(kTimeout));

        QTRY_COMPARE_WITH_TIMEOUT(
            watch.last(QStringLiteral("vexa/ui/info")).value(QStringLiteral("version")).toString(),
            QStringLiteral(TICORA_VERSION), kTimeout);
        // It runs on the packaged settings file, and keeps its event log beside it.
        QTRY_VERIFY_WITH_TIMEOUT(!watch.last(QStringLiteral("vexa/ui/config")).isEmpty(), kTimeout);
        const QJsonObject log = watch.last(QStringLiteral("vexa/ui/config")).value(QStringLiteral("log")).toObject();
        QCOMPARE(log.value(QStringLiteral("stderr")).toVariant().toString(), QStringLiteral("false"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(state + QStringLiteral("/events.ini")), kTimeout);
        QCOMPARE(p.state(), QProcess::Running);
        p.kill();
        p.waitForFinished(kTimeout);
    }

    void unitPassesSystemdVerification()
    {
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed");
        // Checked against this machine's systemd, with the program found in the unpacked root.
        QFile unit(m_root + QStringLiteral("/usr/lib/systemd/system/ticora.service"));
        if (!unit.exists())
            unit.setFileName(m_root + QStringLiteral("/lib/systemd/system/ticora.service"));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(unit.readAll());
        text.replace(QRegularExpression(QStringLiteral("^ExecStart=(/\\S+)"), QRegularExpression::MultilineOption),
            QStringLiteral("ExecStart=") + m_root + QStringLiteral("\\1"));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("verify"))));
        QFile copy(m_dir.filePath(QStringLiteral("verify/ticora.service")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(text.toUtf8());
        copy.close();
        const Run verify = run(analyze, { QStringLiteral("verify"), QStringLiteral("--man=no"), copy.fileName() });
        // Directives it cannot parse are only warned about, with success.
        QVERIFY2(
            verify.code == 0 && (verify.out + verify.err).trimmed().isEmpty(), (verify.out + verify.err).constData());
    }
};

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
