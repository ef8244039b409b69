#include "Broker.h"
#include "TopicRecorder.h"

#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

namespace {
const int kTimeout = 30000;
const QString kUnit = "fleet/K12345678/";
const QString kOther = "fleet/K87654321/";

// A depot CA, the depot's certificate for 127.0.0.1 and an expired copy, a unit
// certificate, a CA nobody uses, and the depot's logins.
const char* const kPki = R"(set -e
key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=$1" -keyout $1.key "${@:2}"; }
sign() { openssl x509 -req -CA depot-ca.crt -CAkey depot-ca.key -CAcreateserial -in $1.csr -out $2 -days $3 "${@:4}"; }
key depot-ca -x509 -days 2 -out depot-ca.crt; key other-ca -x509 -days 2 -out other-ca.crt
key depot -out depot.csr; key unit -out unit.csr; echo subjectAltName=IP:127.0.0.1 > san
sign depot depot.crt 2 -extfile san; sign depot expired.crt -1 -extfile san; sign unit unit.crt 2
printf 'K12345678:unit-secret\nK87654321:other-secret\ndepot:depot-secret\n' > passwd; mosquitto_passwd -U passwd)";

QString run(const QString& dir, const QString& program, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    const bool ok = p.waitForFinished(60000) && p.exitCode() == 0;
    return ok ? QString::fromUtf8(p.readAllStandardOutput()).trimmed() : QString("failed");
}

// A shipped example with lines replaced (pattern at the start of a line, then the new line) and words swapped.
QString shipped(const char* name, const QStringList& lines, const QStringList& words)
{
    QFile f(QString(TICORA_FLEET_EXAMPLES "/") + name);
    QString text = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    for (int i = 0; i + 1 < lines.size(); i += 2)
        text.replace(QRegularExpression("^" + lines[i] + ".*$", QRegularExpression::MultilineOption), lines[i + 1]);
    for (int i = 0; i + 1 < words.size(); i += 2)
        text.replace(words[i], words[i + 1]);
    return text;
}

quint16 freePort()
{
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, 0) ? s.serverPort() : 0;
}

// The shipped depot configuration (its TLS listener on loopback; the fixture's own listener
// stands in for the fleet view's) and a unit broker with the shipped bridge example.
struct Link
{
    const QString pki;
    const quint16 tls = freePort();
    const QString unitCert;
    Broker depot, unit;

    Link(const QString& dir, const QString& certificate, const QString& ca, bool unitCertificate)
        : pki(dir + "/")
        , unitCert(unitCertificate ? "" : "#")
        , depot(shipped("depot-mosquitto.conf",
              { "listener 8883", QString("listener %1 127.0.0.1").arg(tls), "listener 1883", "", "#require_certificate",
                  unitCert + "require_certificate true" },
              { "/etc/mosquitto/ticora-fleet.acl", TICORA_FLEET_EXAMPLES "/ticora-fleet.acl",
                  "/etc/mosquitto/ticora-fleet.", pki, "/etc/mosquitto/certs/depot.crt", pki + certificate,
                  "/etc/mosquitto/certs/", pki }))
    {
        unit.setExtraConfig(
            shipped("ticora-bridge.conf",
                { "address ", QString("address 127.0.0.1:%1").arg(tls), "#bridge_certfile",
                    unitCert + "bridge_certfile " + pki + "unit.crt", "#bridge_keyfile",
                    unitCert + "bridge_keyfile " + pki + "unit.key" },
                { "/etc/mosquitto/certs/depot-ca.crt", pki + ca, "SERIAL", "K12345678", "CHANGE-ME", "unit-secret" })
            + "\nlog_dest file " + unit.dir() + "/log\n");
    }
    // mosquitto's own clients on the depot's TLS listener, logged in as another unit.
    QString otherUnit(const char* tool, const QStringList& args) const
    {
        const QStringList login { "-h", "127.0.0.1", "-p", QString::number(tls), "--cafile", "depot-ca.crt", "-u",
            "K87654321", "-P", "other-secret" };
        return run(pki, tool, login + args);
    }
    QString unitLog() const
    {
        QFile f(unit.dir() + "/log");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};
} // namespace

// The depot link as deployed, with TLS, logins and the shipped access list, and the real panel.
class TestFleetTls : public QObject
{
    Q_OBJECT
    QTemporaryDir m_pki;

private slots:
    void initTestCase()
    {
        if (run(m_pki.path(), "bash", { "-c", kPki }) == "failed")
            QSKIP("openssl or mosquitto_passwd cannot make the certificates");
    }

    void unitIsReachedOverTls()
    {
        Link link(m_pki.path(), "depot.crt", "depot-ca.crt", false);
        if (!link.depot.start())
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(link.depot.port(), "fleet/#", "depot", "depot-secret");
        QVERIFY(link.unit.start());
        QTRY_COMPARE_WITH_TIMEOUT(watch.last.value(kUnit + "bridge"), QByteArray("1"), kTimeout);

        QTemporaryDir state;
        QSettings(state.filePath("gui.conf"), QSettings::IniFormat).setValue("gui/deviceId", state.filePath("sn"));
        QProcess ticora;
        startTicora(ticora, TICORA_BINARY, state.path(), link.unit.port());
        const auto stop = qScopeGuard([&ticora] {
            ticora.kill();
            ticora.waitForFinished(kTimeout);
        });
        QTRY_VERIFY_WITH_TIMEOUT(watch.json(kUnit + "status")["service"].toBool(), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(watch.json(kUnit + "health")["counts"].isObject(), kTimeout);
        watch.client.publish("{}", kUnit + "screenshot/get");
        watch.client.publish(R"({"max": 1})", kUnit + "events/get");
        QTRY_COMPARE_WITH_TIMEOUT(
            QImage::fromData(watch.last.value(kUnit + "screenshot"), "PNG").size(), QSize(480, 800), kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(watch.json(kUnit + "events")["events"].toArray().size(), 1, kTimeout);
        const QRegularExpression own("^fleet/K12345678/(info|status|config|health|screenshot|events|bridge)(/get)?$");
        for (const QString& topic : watch.last.keys())
            QVERIFY2(own.match(topic).hasMatch(), qPrintable(topic));

        // Another unit's login: the first message it reads is its own retained one, never this
        // unit's retained status; its change to this unit is dropped before its next message.
        watch.client.publish("mine", kOther + "first", 1, true);
        QTRY_VERIFY_WITH_TIMEOUT(watch.last.contains(kOther + "first"), kTimeout);
        QCOMPARE(
            link.otherUnit("mosquitto_sub", { "-C", "1", "-v", "-W", "30", "-t", kUnit + "#", "-t", kOther + "first" }),
            kOther + "first mine");
        for (const QString& topic : { kUnit + "config/set", kOther + "after" })
            link.otherUnit("mosquitto_pub", { "-q", "1", "-t", topic, "-m", "{}" });
        QTRY_VERIFY_WITH_TIMEOUT(watch.last.contains(kOther + "after"), kTimeout);
        QVERIFY(!watch.last.contains(kUnit + "config/set"));
    }

    // Only a link both ends trust comes up; otherwise the unit's notification stays "0".
    void onlyATrustedLinkComesUp_data()
    {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("ca");
        QTest::addColumn<bool>("unitCertificate");
        QTest::newRow("unit certificate required and given") << "depot.crt"
                                                             << "depot-ca.crt" << true;
        QTest::newRow("wrong CA") << "depot.crt"
                                  << "other-ca.crt" << false;
        QTest::newRow("expired depot certificate") << "expired.crt"
                                                   << "depot-ca.crt" << false;
    }
    void onlyATrustedLinkComesUp()
    {
        QFETCH(QString, certificate);
        QFETCH(QString, ca);
        QFETCH(bool, unitCertificate);
        Link link(m_pki.path(), certificate, ca, unitCertificate);
        if (!link.depot.start())
            QSKIP("mosquitto cannot be started here");
        TopicRecorder watch(link.depot.port(), "fleet/#", "depot", "depot-secret");
        QVERIFY(link.unit.start());
        TopicRecorder local(link.unit.port(), kUnit + "bridge");
        if (unitCertificate) {
            QTRY_COMPARE_WITH_TIMEOUT(watch.last.value(kUnit + "bridge"), QByteArray("1"), kTimeout);
            return;
        }
        // Once the handshake has failed the link is down for good.
        QTRY_VERIFY2_WITH_TIMEOUT(link.unitLog().contains("OpenSSL Error"), qPrintable(link.unitLog()), kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(local.last.value(kUnit + "bridge"), QByteArray("0"), kTimeout);
        QVERIFY(watch.last.value(kUnit + "bridge") != "1");
    }
};

QTEST_MAIN(TestFleetTls)
#include "tst_fleettls.moc"
