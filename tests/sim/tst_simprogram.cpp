#include "BrokerClient.h"
#include "DeviceSimulator.h"
#include "MqttClient.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

using manager::MqttClient;

namespace {
const int kTimeout = 20000;
}

class TestSimProgram : public QObject
{
    Q_OBJECT

    struct Message
    {
        QString topic;
        QByteArray payload;
    };
    QList<Message> m_messages;
    QByteArray m_stdout;

    QJsonObject lastOn(const QString& topic) const
    {
        for (int i = m_messages.size() - 1; i >= 0; --i)
            if (m_messages.at(i).topic == topic)
                return QJsonDocument::fromJson(m_messages.at(i).payload).object();
        return QJsonObject();
    }
    bool hasLine(const QByteArray& line) const { return m_stdout.split('\n').contains(line); }

    std::unique_ptr<MqttClient> panel(const Broker& broker)
    {
        auto ui = std::make_unique<MqttClient>();
        pointAtBroker(*ui, broker, QStringLiteral("panel"));
        ui->subscribe(QStringLiteral("vexa/#"));
        connect(ui.get(), &MqttClient::received, this, [this](const QByteArray& payload, const QByteArray& topic) {
            m_messages.append({ QString::fromUtf8(topic), payload });
        });
        return ui;
    }

    void startSim(QProcess& sim, const Broker& broker, const QStringList& extra = {})
    {
        connect(&sim, &QProcess::readyReadStandardOutput, this, [this, &sim] { m_stdout += sim.readAllStandardOutput(); });
        sim.setProcessChannelMode(QProcess::SeparateChannels);
        sim.start(QStringLiteral(TICORA_SIM_BINARY),
                  QStringList{ "-H", broker.host(), "-P", QString::number(broker.port()) } + extra);
        QVERIFY(sim.waitForStarted(kTimeout));
    }

private slots:
    void init()
    {
        m_messages.clear();
        m_stdout.clear();
    }

    void scenarioStdinAndRequestLines()
    {
        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        auto ui = panel(broker);
        QSignalSpy up(ui.get(), &MqttClient::connected);
        ui->connect();
        QTRY_COMPARE_WITH_TIMEOUT(up.size(), 1, kTimeout);

        QTemporaryFile scenario;
        QVERIFY(scenario.open());
        scenario.write("# comment\n\ntap valid journeys\nwait 100\nstatus no-route\n");
        scenario.flush();

        QProcess sim;
        startSim(sim, broker, { "-s", scenario.fileName() });
        QTRY_VERIFY_WITH_TIMEOUT(hasLine("[Sim] Scenario done"), kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(
            lastOn("vexa/blm/rfid/scanned").value("transaction").toObject().value("type").toInt(), 5, kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(lastOn("vexa/blm/status").value("state").toObject().value("hasRoute").toBool(true),
                                  false, kTimeout);

        // Typed commands, including one split over two writes.
        sim.write("status on");
        sim.write("line\nignition off\n");
        QTRY_COMPARE_WITH_TIMEOUT(lastOn("vexa/blm/status").value("state").toObject().value("hasRoute").toBool(),
                                  true, kTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(
            lastOn("vexa/board/status").value("device").toObject().value("ignition").toBool(true), false, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(hasLine("CMD status online"), kTimeout);

        QVERIFY(ui->publish(R"({"device": "internal", "filepath": "/opt/vexa/ticora/Valid.wav"})",
                            QStringLiteral("vexa/inspector/audio/play")));
        QVERIFY(ui->publish(QByteArray(), QStringLiteral("vexa/rfid/disable")));
        QTRY_VERIFY_WITH_TIMEOUT(
            hasLine(R"(REQ vexa/inspector/audio/play {"device":"internal","filepath":"/opt/vexa/ticora/Valid.wav"})"),
            kTimeout);
        // The service's own line follows the request line and may arrive in a later read.
        QTRY_VERIFY_WITH_TIMEOUT(m_stdout.contains("[Inspector] Sound played: /opt/vexa/ticora/Valid.wav"), kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(hasLine("REQ vexa/rfid/disable"), kTimeout);

        // The end of the input is not the end of the services.
        sim.closeWriteChannel();
        QVERIFY(ui->publish("{}", QStringLiteral("vexa/board/power/get")));
        QTRY_VERIFY_WITH_TIMEOUT(hasLine("REQ vexa/board/power/get {}"), kTimeout);
        QCOMPARE(sim.state(), QProcess::Running);
        sim.terminate();
        QVERIFY(sim.waitForFinished(kTimeout));
    }

    void quitEndsTheProgram()
    {
        Broker broker;
        if (!broker.start())
            QSKIP("mosquitto cannot be started here");
        QProcess sim;
        startSim(sim, broker);
        QTRY_VERIFY_WITH_TIMEOUT(m_stdout.contains("[Sim] Connected to broker"), kTimeout);
        sim.write("help\nquit\n");
        QVERIFY(sim.waitForFinished(kTimeout));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        m_stdout += sim.readAllStandardOutput();
        QVERIFY(m_stdout.contains("tap valid [kind]"));
    }

    void badOptionsAreRefused()
    {
        QProcess sim;
        sim.start(QStringLiteral(TICORA_SIM_BINARY), { "-P", "notaport" });
        QVERIFY(sim.waitForFinished(kTimeout));
        QCOMPARE(sim.exitCode(), 1);
        sim.start(QStringLiteral(TICORA_SIM_BINARY), { "-s", "/nonexistent/scenario.txt" });
        QVERIFY(sim.waitForFinished(kTimeout));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(sim.readAllStandardError().contains("cannot read scenario"));
    }

    // Every line of the shipped scenarios is a command the simulator knows.
    void shippedScenariosAreValid()
    {
        MqttClient offline;
        DeviceSimulator sim(offline);
        const QDir dir(QStringLiteral(TICORA_SIM_SCENARIOS));
        const QStringList files = dir.entryList({ "*.txt" }, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
            int lineNo = 0;
            for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
                ++lineNo;
                const QStringList words = line.split(' ', Qt::SkipEmptyParts);
                if (!words.isEmpty() && words.first() == QLatin1String("wait")) {
                    bool ok = false;
                    QVERIFY2(words.size() == 2 && words.at(1).toInt(&ok) >= 0 && ok,
                             qPrintable(name + ":" + QString::number(lineNo)));
                    continue;
                }
                QVERIFY2(sim.execute(line), qPrintable(name + ":" + QString::number(lineNo) + ": " + line));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
