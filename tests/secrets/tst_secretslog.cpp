#include "BrokerClient.h"
#include "MqttClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using manager::MqttClient;

// Marker secrets planted in the settings file and sent by peers; the program runs at
// log level 3 with every debug line written to standard error.
class TestSecretsLog : public QObject
{
    Q_OBJECT
private slots:
    void markersNeverLogged()
    {
        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        QTemporaryDir dir;
        QFile sn(dir.filePath("sn"));
        QVERIFY(sn.open(QIODevice::WriteOnly));
        sn.write("K12345678");
        sn.close();
        QFile conf(dir.filePath("gui.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[gui]\ndeviceId=%1\nsettingsPin=44556677\n[log]\nsyslog=false\n"
                                  "[mqtt]\nhost=127.0.0.1\nport=%2\nusername=panel\npassword=MqttMarker-91\n")
                       .arg(dir.filePath("sn"))
                       .arg(broker.port())
                       .toUtf8());
        conf.close();

        MqttClient peer;
        pointAtBroker(peer, broker, QStringLiteral("peer"));
        peer.subscribe(QStringLiteral("#"));
        QList<QPair<QByteArray, QByteArray>> seen; // topic, payload
        connect(&peer, &MqttClient::received, [&seen](const QByteArray& data, const QByteArray& topic) {
            seen.append({ topic, data });
        });
        peer.connect();
        QTRY_COMPARE_WITH_TIMEOUT(peer.state(), manager::MqttTransport::Connected, 15000);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(dir.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray output;
        connect(&program, &QProcess::readyReadStandardOutput, [&] { output += program.readAllStandardOutput(); });
        program.start(QStringLiteral(TICORA_BINARY),
            { QStringLiteral("-v"), QStringLiteral("3"), QStringLiteral("-e"), QStringLiteral("-f"),
                dir.filePath("gui.conf") });
        QVERIFY(program.waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT(output.contains("Connected to MQTT broker"), 60000);

        peer.publish(R"({"blm": {"obu_username": "obu", "obu_password": "ObuMarker-92", "obu_host": "127.0.0.1"}})",
            QStringLiteral("vexa/blm/config"));
        peer.publish(R"({"gui": {"settingsPin": "33445566"}, "mqtt": {"password": "********"}})",
            QStringLiteral("vexa/ui/config/set"));
        QTRY_VERIFY_WITH_TIMEOUT(output.contains("Config changed : "), 60000);
        peer.publish("{}", QStringLiteral("vexa/ui/config/get"));
        auto configs = [&seen] {
            int n = 0;
            for (const auto& m : seen)
                n += m.first == "vexa/ui/config";
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(configs() >= 3, 60000);
        program.terminate();
        QVERIFY(program.waitForFinished(30000));
        output += program.readAllStandardOutput();

        QVERIFY(output.contains("Received on topic: vexa/blm/config")); // the payload dump was there
        for (const char* marker : { "MqttMarker", "ObuMarker", "44556677", "33445566" }) {
            QVERIFY2(!output.contains(marker), marker);
            for (const auto& m : seen)
                if (m.first != "vexa/blm/config" && m.first != "vexa/ui/config/set") // the peer's own
                    QVERIFY2(!m.second.contains(marker), m.first.constData());
        }
        // The masked password sent back changed nothing: the program still connects with it.
        QFile after(dir.filePath("gui.conf"));
        QVERIFY(after.open(QIODevice::ReadOnly));
        const QByteArray saved = after.readAll();
        QVERIFY(saved.contains("password=MqttMarker-91"));
        QVERIFY(saved.contains("settingsPin=33445566"));
    }
};

QTEST_GUILESS_MAIN(TestSecretsLog)
#include "tst_secretslog.moc"
