#include "Broker.h"
#include "TopicRecorder.h"

#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int kTimeout = 30000;
const QString kSerial = QStringLiteral("K12345678");
const QString kOther = QStringLiteral("K87654321");
const QString kPrefix = QStringLiteral("fleet/K12345678");

quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// A depot CA with the depot's certificate (for 127.0.0.1), the same certificate
// already expired, a unit certificate, and a CA nobody uses.
struct Pki
{
    QTemporaryDir dir;

    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    bool openssl(const QStringList& args) const
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), args);
        if (!p.waitForFinished(kTimeout) || p.exitCode() != 0) {
            qWarning().noquote() << "openssl" << args.join(QLatin1Char(' ')) << ":" << p.readAll();
            return false;
        }
        return true;
    }
    bool key(const QString& name, const QString& subject, const QString& csr) const
    {
        return openssl({ QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
            name + QStringLiteral(".key"), QStringLiteral("-out"), csr, QStringLiteral("-subj"), subject });
    }
    bool ca(const QString& name) const
    {
        return openssl({ QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
            QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"), name + QStringLiteral(".crt"),
            QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=") + name });
    }
    bool sign(const QString& csr, const QString& out, int days, bool server) const
    {
        QStringList args { QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr,
            QStringLiteral("-CA"), QStringLiteral("depot-ca.crt"), QStringLiteral("-CAkey"), QStringLiteral("depot-ca.key"),
            QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), out, QStringLiteral("-days"), QString::number(days) };
        if (server)
            args << QStringLiteral("-extfile") << QStringLiteral("server.cnf");
        return openssl(args);
    }
    bool make()
    {
        QFile ext(path("server.cnf"));
        if (!dir.isValid() || !ext.open(QIODevice::WriteOnly))
            return false;
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        ext.close();
        return ca(QStringLiteral("depot-ca")) && ca(QStringLiteral("other-ca"))
            && key(QStringLiteral("depot"), QStringLiteral("/CN=depot"), QStringLiteral("depot.csr"))
            && sign(QStringLiteral("depot.csr"), QStringLiteral("depot.crt"), 2, true)
            // Valid until the day before it was issued.
            && sign(QStringLiteral("depot.csr"), QStringLiteral("expired.crt"), -1, true)
            && key(QStringLiteral("unit"), QStringLiteral("/CN=") + kSerial, QStringLiteral("unit.csr"))
            && sign(QStringLiteral("unit.csr"), QStringLiteral("unit.crt"), 2, false);
    }
};

QString shipped(const char* name)
{
    QFile f(QStringLiteral(TICORA_FLEET_EXAMPLES "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString replaceLine(QString text, const QString& start, const QString& line)
{
    return text.replace(
        QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(start) + QStringLiteral(".*$"),
            QRegularExpression::MultilineOption),
        line);
}

// The shipped depot configuration with the server's paths put into the test's folders and
// its unit listener on loopback; the fixture's own listener stands in for the fleet view's.
QString depotConfig(const Pki& pki, const QString& passwd, quint16 tlsPort, const char* certificate, bool requireCert)
{
    QString text = shipped("depot-mosquitto.conf");
    text.replace(QLatin1String("/etc/mosquitto/ticora-fleet.passwd"), passwd);
    text.replace(QLatin1String("/etc/mosquitto/ticora-fleet.acl"), QStringLiteral(TICORA_FLEET_EXAMPLES "/ticora-fleet.acl"));
    text.replace(QLatin1String("/etc/mosquitto/certs/depot.crt"), pki.path(certificate));
    text.replace(QLatin1String("/etc/mosquitto/certs/"), pki.dir.path() + QLatin1Char('/'));
    text = replaceLine(text, QStringLiteral("listener 8883"), QStringLiteral("listener %1 127.0.0.1").arg(tlsPort));
    text = replaceLine(text, QStringLiteral("listener 1883"), QString());
    if (requireCert)
        text = replaceLine(text, QStringLiteral("#require_certificate"), QStringLiteral("require_certificate true"));
    return text;
}

// The shipped bridge example as a unit installs it, pointed at the depot over TLS.
QString bridgeConfig(quint16 tlsPort, const QString& ca, const Pki* unitCertificate = nullptr)
{
    QString text = shipped("ticora-bridge.conf");
    text = replaceLine(text, QStringLiteral("address "), QStringLiteral("address 127.0.0.1:%1").arg(tlsPort));
    text.replace(QLatin1String("/etc/mosquitto/certs/depot-ca.crt"), ca);
    if (unitCertificate) {
        text = replaceLine(text, QStringLiteral("#bridge_certfile"),
            QStringLiteral("bridge_certfile ") + unitCertificate->path("unit.crt"));
        text = replaceLine(text, QStringLiteral("#bridge_keyfile"),
            QStringLiteral("bridge_keyfile ") + unitCertificate->path("unit.key"));
    }
    return text.replace(QLatin1String("SERIAL"), kSerial).replace(QLatin1String("CHANGE-ME"), QLatin1String("unit-secret"));
}

QString logOf(const Broker& broker)
{
    QFile f(broker.dir() + QStringLiteral("/mosquitto.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The depot, and a unit broker bridged to it, on loopback.
struct Link
{
    Pki& pki;
    QString passwd;
    quint16 tlsPort = freePort();
    std::unique_ptr<Broker> depot;
    Broker unit;

    explicit Link(Pki& p) : pki(p) {}

    bool startDepot(const char* certificate = "depot.crt", bool requireCert = false)
    {
        passwd = pki.path("passwd");
        QFile f(passwd);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QStringLiteral("%1:unit-secret\n%2:other-secret\ndepot:depot-secret\n").arg(kSerial, kOther).toUtf8());
        f.close();
        QProcess hash;
        hash.start(QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd")), { QStringLiteral("-U"), passwd });
        if (!hash.waitForFinished(kTimeout) || hash.exitCode() != 0)
            return false;
        depot = std::make_unique<Broker>(depotConfig(pki, passwd, tlsPort, certificate, requireCert));
        return depot->start();
    }
    bool startUnit(const QString& ca, const Pki* unitCertificate = nullptr)
    {
        unit.setExtraConfig(bridgeConfig(tlsPort, ca, unitCertificate) + QStringLiteral("\nlog_dest file ")
            + unit.dir() + QStringLiteral("/mosquitto.log\n"));
        return unit.start();
    }
};

// mosquitto's own clients over the depot's TLS listener: the first message printed.
QString firstMessage(const Link& link, const QString& user, const QString& password, const QStringList& topics)
{
    QStringList args { QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
        QString::number(link.tlsPort), QStringLiteral("--cafile"), link.pki.path("depot-ca.crt"), QStringLiteral("-u"), user,
        QStringLiteral("-P"), password, QStringLiteral("-v"), QStringLiteral("-C"), QStringLiteral("1"),
        QStringLiteral("-W"), QStringLiteral("30") };
    for (const QString& t : topics)
        args << QStringLiteral("-t") << t;
    QProcess sub;
    sub.start(QStringLiteral("mosquitto_sub"), args);
    sub.waitForFinished(60000);
    return QString::fromUtf8(sub.readAllStandardOutput()).trimmed();
}

bool publishOverTls(const Link& link, const QString& user, const QString& password, const QString& topic,
    const QByteArray& payload)
{
    QProcess pub;
    pub.start(QStringLiteral("mosquitto_pub"),
        { QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(link.tlsPort),
            QStringLiteral("--cafile"), link.pki.path("depot-ca.crt"), QStringLiteral("-u"), user, QStringLiteral("-P"),
            password, QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"), topic, QStringLiteral("-m"),
            QString::fromUtf8(payload) });
    return pub.waitForFinished(60000) && pub.exitCode() == 0;
}
} // namespace

// The depot link as deployed: the shipped depot configuration with TLS, logins and the
// shipped access list, a unit broker with the shipped bridge example, the real panel.
class TestFleetTls : public QObject
{
    Q_OBJECT

    Pki m_pki;

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("mosquitto_sub")).isEmpty())
            QSKIP("openssl or mosquitto's clients are not installed");
        QVERIFY(m_pki.make());
    }

    void unitIsReachedOverTls()
    {
        Link link(m_pki);
        if (!link.startDepot())
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(
            link.depot->port(), QStringLiteral("fleet/#"), QStringLiteral("depot"), QStringLiteral("depot-secret"));
        QVERIFY(link.startUnit(m_pki.path("depot-ca.crt")));
        QTRY_COMPARE_WITH_TIMEOUT(watch.last.value(kPrefix + QStringLiteral("/bridge")), QByteArray("1"), kTimeout);

        QTemporaryDir state;
        {
            QFile id(state.filePath(QStringLiteral("serialnumber")));
            QVERIFY(id.open(QIODevice::WriteOnly));
            id.write(kSerial.toUtf8());
        }
        QSettings(state.filePath(QStringLiteral("gui.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("gui/deviceId"), state.filePath(QStringLiteral("serialnumber")));
        QProcess ticora;
        startTicora(ticora, QStringLiteral(TICORA_BINARY), state.path(), link.unit.port());
        const auto stop = qScopeGuard([&ticora] {
            ticora.kill();
            ticora.waitForFinished(kTimeout);
        });

        QTRY_VERIFY_WITH_TIMEOUT(
            watch.json(kPrefix + QStringLiteral("/status"))[QStringLiteral("service")].toBool(), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(
            !watch.json(kPrefix + QStringLiteral("/health"))[QStringLiteral("screen")].toString().isEmpty(), kTimeout);
        QVERIFY(watch.json(kPrefix + QStringLiteral("/health"))[QStringLiteral("counts")].isObject());

        watch.client.publish("{}", kPrefix + QStringLiteral("/screenshot/get"));
        QTRY_VERIFY_WITH_TIMEOUT(watch.last.contains(kPrefix + QStringLiteral("/screenshot")), kTimeout);
        const QImage picture = QImage::fromData(watch.last.value(kPrefix + QStringLiteral("/screenshot")), "PNG");
        QCOMPARE(picture.size(), QSize(480, 800));

        watch.client.publish(R"({"max": 5})", kPrefix + QStringLiteral("/events/get"));
        QTRY_VERIFY_WITH_TIMEOUT(watch.last.contains(kPrefix + QStringLiteral("/events")), kTimeout);
        const QJsonArray events = watch.json(kPrefix + QStringLiteral("/events"))[QStringLiteral("events")].toArray();
        QVERIFY(!events.isEmpty() && events.size() <= 5);
        QCOMPARE(events.last()[QStringLiteral("name")].toString(), QStringLiteral("Application started"));

        // Only the panel's own topics leave the unit.
        const QRegularExpression own(
            QStringLiteral("^fleet/K12345678/(info|status|config|health|screenshot|screenshot/error|events|bridge|"
                           "screenshot/get|events/get)$"));
        for (const QString& topic : watch.last.keys())
            QVERIFY2(own.match(topic).hasMatch(), qPrintable(topic));

        // Another unit's login reads nothing of this one: the first message it gets is
        // its own retained sentinel, not this unit's retained status.
        watch.client.publish("here", QStringLiteral("fleet/%1/sentinel").arg(kOther), 1, true);
        QTRY_VERIFY_WITH_TIMEOUT(watch.last.contains(QStringLiteral("fleet/%1/sentinel").arg(kOther)), kTimeout);
        QCOMPARE(firstMessage(link, kOther, QStringLiteral("other-secret"),
                     { kPrefix + QStringLiteral("/#"), QStringLiteral("fleet/%1/sentinel").arg(kOther) }),
            QStringLiteral("fleet/%1/sentinel here").arg(kOther));
        // ...and cannot send it anything: its change is dropped, its next message arrives.
        QVERIFY(publishOverTls(link, kOther, QStringLiteral("other-secret"), kPrefix + QStringLiteral("/config/set"),
            R"({"gui": {"displayOffMin": 9}})"));
        QVERIFY(publishOverTls(
            link, kOther, QStringLiteral("other-secret"), QStringLiteral("fleet/%1/after").arg(kOther), "done"));
        QTRY_VERIFY_WITH_TIMEOUT(watch.last.contains(QStringLiteral("fleet/%1/after").arg(kOther)), kTimeout);
        QVERIFY(!watch.last.contains(kPrefix + QStringLiteral("/config/set")));
        // The unit's own login does reach its own prefix the same way.
        QCOMPARE(firstMessage(link, kSerial, QStringLiteral("unit-secret"), { kPrefix + QStringLiteral("/bridge") }),
            kPrefix + QStringLiteral("/bridge 1"));
    }

    // A link the unit cannot trust, or the depot does not accept, stays down, and the
    // unit's broker says so on the notification topic.
    void untrustedLinkStaysDown_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("ca");
        QTest::addColumn<bool>("requireCert");
        QTest::addColumn<bool>("unitCert");
        QTest::addColumn<bool>("up");
        QTest::newRow("unit certificate") << "depot.crt" << "depot-ca.crt" << true << true << true;
        QTest::newRow("wrong CA") << "depot.crt" << "other-ca.crt" << false << false << false;
        QTest::newRow("expired depot certificate") << "expired.crt" << "depot-ca.crt" << false << false << false;
        QTest::newRow("unit certificate missing") << "depot.crt" << "depot-ca.crt" << true << false << false;
    }
    void untrustedLinkStaysDown()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, ca);
        QFETCH(bool, requireCert);
        QFETCH(bool, unitCert);
        QFETCH(bool, up);
        Link link(m_pki);
        if (!link.startDepot(qPrintable(certificate), requireCert))
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(
            link.depot->port(), QStringLiteral("fleet/#"), QStringLiteral("depot"), QStringLiteral("depot-secret"));
        QVERIFY(link.startUnit(m_pki.dir.filePath(ca), unitCert ? &m_pki : nullptr));
        TopicRecorder local(link.unit.port(), kPrefix + QStringLiteral("/bridge"));
        if (up) {
            QTRY_COMPARE_WITH_TIMEOUT(watch.last.value(kPrefix + QStringLiteral("/bridge")), QByteArray("1"), kTimeout);
            QTRY_COMPARE_WITH_TIMEOUT(local.last.value(kPrefix + QStringLiteral("/bridge")), QByteArray("1"), kTimeout);
            return;
        }
        // Once the handshake has failed, the link is down for good.
        QTRY_VERIFY2_WITH_TIMEOUT(logOf(link.unit).contains(QLatin1String("OpenSSL Error")), qPrintable(logOf(link.unit)),
            kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(local.last.value(kPrefix + QStringLiteral("/bridge")), QByteArray("0"), kTimeout);
        QVERIFY(watch.last.value(kPrefix + QStringLiteral("/bridge")) != "1");
    }
};

QTEST_MAIN(TestFleetTls)
#include "tst_fleettls.moc"
