#include "Event.h"
#include "EventLogResponder.h"
#include "EventManager.h"
#include "GUIManager.h"
#include "HealthReporter.h"
#include "InputMethod.h"
#include "RemoteSupport.h"
#include "SceneGraph.h"
#include "ScreenshotResponder.h"
#include "ScriptedDevice.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int kTimeout = 30000;

// The depot's end of the unit's connection: what the panel publishes on its base topic.
struct Depot
{
    manager::MqttClient client;
    QList<QPair<QString, QByteArray>> messages;

    explicit Depot(ScriptedDevice& device)
    {
        client.setTransportFactory([&device] {
            auto* transport = new ScriptedTransport();
            ScriptedTransport::wire(transport, device.transport());
            return transport;
        });
        QObject::connect(&client, &manager::MqttClient::received,
            [this](const QByteArray& data, const QByteArray& topic) { messages.append({ QString::fromUtf8(topic), data }); });
        client.subscribe(QStringLiteral("vexa/ui/#"));
        client.connect();
    }
    void request(const char* suffix, const QByteArray& payload = "{}")
    {
        client.publish(payload, QStringLiteral("vexa/ui/") + QLatin1String(suffix));
    }
    int count(const char* suffix) const
    {
        const QString topic = QStringLiteral("vexa/ui/") + QLatin1String(suffix);
        return int(std::count_if(messages.cbegin(), messages.cend(), [&](const auto& m) { return m.first == topic; }));
    }
    QByteArray last(const char* suffix) const
    {
        const QString topic = QStringLiteral("vexa/ui/") + QLatin1String(suffix);
        for (int i = messages.size() - 1; i >= 0; --i)
            if (messages.at(i).first == topic)
                return messages.at(i).second;
        return {};
    }
    QJsonObject json(const char* suffix) const { return QJsonDocument::fromJson(last(suffix)).object(); }
};

// The panel on the scan prompt, answering for the depot.
struct Unit
{
    ScriptedDevice device { QStringLiteral("en_IE"), QStringLiteral("K12345678") };
    std::unique_ptr<RemoteSupport> support;
    std::unique_ptr<Depot> depot;

    bool start()
    {
        if (!device.load())
            return false;
        support = std::make_unique<RemoteSupport>(device.gui(), device.config());
        depot = std::make_unique<Depot>(device);
        device.setIgnition(true);
        device.setValidator(QStringLiteral("online"));
        return device.waitForScreen(QStringLiteral("ScanScreens"), kTimeout);
    }
};

QImage rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }
} // namespace

class TestRemoteSupport : public QObject
{
    Q_OBJECT

private slots:
    // The counts follow what the validator reported, and a burst of changes inside the
    // interval publishes nothing more until it ends; a request is answered at once.
    void healthFollowsPlayedValidations()
    {
        Unit unit;
        QVERIFY(unit.start());
        Depot& depot = *unit.depot;
        unit.support->health()->setMinIntervalMillis(3600 * 1000);
        depot.request("health/get");
        QTRY_COMPARE_WITH_TIMEOUT(depot.json("health")[QStringLiteral("screen")].toString(),
            QStringLiteral("ScanScreens"), kTimeout);
        const int published = depot.count("health");

        const QString locale = QStringLiteral("en_IE");
        const auto valid = ScriptedDevice::validTickets(locale);
        const auto already = ScriptedDevice::alreadyValidTickets(locale);
        const auto refused = ScriptedDevice::invalidTickets(locale);
        for (const auto& group : { valid, already, refused })
            for (const SampleTicket& ticket : group)
                unit.device.scan(ticket);
        unit.device.cardRetry();
        unit.device.cardRetry();
        ScriptedDevice::settle(300);
        QCOMPARE(depot.count("health"), published);

        depot.request("health/get");
        QTRY_COMPARE_WITH_TIMEOUT(depot.count("health"), published + 1, kTimeout);
        const QJsonObject health = depot.json("health");
        const QJsonObject counts = health[QStringLiteral("counts")].toObject();
        QCOMPARE(counts[QStringLiteral("valid")].toInt(), valid.size());
        QCOMPARE(counts[QStringLiteral("alreadyValid")].toInt(), already.size());
        QCOMPARE(counts[QStringLiteral("refused")].toInt(), refused.size());
        QCOMPARE(counts[QStringLiteral("retry")].toInt(), 2);
        const QString last = health[QStringLiteral("lastValidation")].toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"))
                     .match(last)
                     .hasMatch(),
            qPrintable(last));
        QVERIFY(qAbs(QDateTime::fromString(last, Qt::ISODate).secsTo(QDateTime::currentDateTime())) < 3600);
        QCOMPARE(health[QStringLiteral("validatorStatus")].toString(), QStringLiteral("online"));
        QVERIFY(health[QStringLiteral("eventLogFreeBytes")].toDouble() > 0);

        // Without the long interval a change goes out by itself.
        unit.support->health()->setMinIntervalMillis(0);
        unit.device.gui().setMaintenanceScreen();
        QTRY_COMPARE_WITH_TIMEOUT(depot.json("health")[QStringLiteral("screen")].toString(), QStringLiteral("Login"),
            kTimeout);
    }

    // The picture is the one the screenshot tool takes of the same screen; the login
    // page and a second request inside the interval are refused.
    void screenshotIsWhatThePassengerSees()
    {
        Unit unit;
        QVERIFY(unit.start());
        Depot& depot = *unit.depot;
        unit.device.setValidator(QStringLiteral("out-of-service"));
        QVERIFY(unit.device.waitForScreen(QStringLiteral("OutOfService"), kTimeout));
        ScriptedDevice::settle(600);
        unit.support->screenshots()->setMinIntervalMillis(0);

        // The header's clock shows minutes: take both pictures inside one minute.
        QImage picture, tool;
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int minute = QTime::currentTime().minute();
            QTemporaryDir out;
            QProcess shots;
            shots.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            shots.start(QStringLiteral(SCREENSHOTS_BINARY),
                { QStringLiteral("--out"), out.path(), QStringLiteral("--lang"), QStringLiteral("en_IE"),
                    QStringLiteral("--only"), QStringLiteral("outofservice") });
            QVERIFY(shots.waitForFinished(180000));
            tool = QImage(out.filePath(QStringLiteral("en_IE/outofservice.png")));
            QVERIFY(!tool.isNull());
            const int before = depot.count("screenshot");
            depot.request("screenshot/get");
            QTRY_COMPARE_WITH_TIMEOUT(depot.count("screenshot"), before + 1, kTimeout);
            QVERIFY(picture.loadFromData(depot.last("screenshot"), "PNG"));
            if (QTime::currentTime().minute() == minute)
                break;
        }
        QCOMPARE(picture.size(), QSize(480, 800));
        if (rgb(picture) != rgb(tool)) {
            picture.save(QDir::temp().filePath(QStringLiteral("remotesupport-sent.png")));
            tool.save(QDir::temp().filePath(QStringLiteral("remotesupport-tool.png")));
            QFAIL("the picture sent differs from the screenshot tool's (both saved in the temporary folder)");
        }

        unit.support->screenshots()->setMinIntervalMillis(3600 * 1000);
        depot.request("screenshot/get");
        QTRY_VERIFY_WITH_TIMEOUT(depot.json("screenshot/error")[QStringLiteral("error")].toString().startsWith(
                                     QLatin1String("less than")),
            kTimeout);

        unit.support->screenshots()->setMinIntervalMillis(0);
        unit.device.setValidator(QStringLiteral("online"));
        unit.device.gui().setMaintenanceScreen();
        QVERIFY(unit.device.waitForScreen(QStringLiteral("Login"), kTimeout));
        const int pictures = depot.count("screenshot");
        const int refusals = depot.count("screenshot/error");
        depot.request("screenshot/get");
        QTRY_COMPARE_WITH_TIMEOUT(depot.count("screenshot/error"), refusals + 1, kTimeout);
        QVERIFY(depot.json("screenshot/error")[QStringLiteral("error")].toString().contains(QLatin1String("login")));
        QCOMPARE(depot.count("screenshot"), pictures);
    }

    // Newest first, "since" inclusive, "max" clamped to the message limit.
    void eventLogOnRequest()
    {
        Unit unit;
        QVERIFY(unit.start());
        Depot& depot = *unit.depot;
        EventManager* log = unit.device.gui().eventLog();
        log->clear();
        // The log keeps whole seconds.
        const QDateTime start = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 86400);
        const int total = EventLogResponder::MaxPerMessage + 20;
        for (int i = 0; i < total; ++i)
            log->push(new Event(QStringLiteral("Test"), QStringLiteral("Entry %1").arg(i), QString(), start.addSecs(i)));

        auto ask = [&depot](const QByteArray& payload) {
            const int before = depot.count("events");
            depot.request("events/get", payload);
            return QTest::qWaitFor([&] { return depot.count("events") == before + 1; }, kTimeout)
                ? depot.json("events")[QStringLiteral("events")].toArray()
                : QJsonArray();
        };
        const QJsonArray all = ask("{}");
        QCOMPARE(all.size(), int(EventLogResponder::MaxPerMessage));
        QCOMPARE(all.first()[QStringLiteral("name")].toString(), QStringLiteral("Entry %1").arg(total - 1));
        QCOMPARE(QDateTime::fromString(all.first()[QStringLiteral("time")].toString(), Qt::ISODate),
            start.addSecs(total - 1));

        const QString since = start.addSecs(total - 3).toString(Qt::ISODate);
        const QJsonArray recent = ask(QStringLiteral("{\"since\": \"%1\", \"max\": 50}").arg(since).toUtf8());
        QCOMPARE(recent.size(), 3);
        QCOMPARE(recent.last()[QStringLiteral("name")].toString(), QStringLiteral("Entry %1").arg(total - 3));
        QCOMPARE(ask("{\"max\": 0}").size(), 1);
        QCOMPARE(ask("{\"since\": \"yesterday\", \"max\": \"ten\"}").size(), int(EventLogResponder::MaxPerMessage));
    }
};

// Started as the program and the screenshot tool start, so the pictures can match.
int main(int argc, char* argv[])
{
    useInputMethod(chooseInputMethod(inputMethodPluginDirs()));
    useSceneGraphBackend(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ticora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("vexa"));
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));
    TestRemoteSupport test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_remotesupport.moc"
