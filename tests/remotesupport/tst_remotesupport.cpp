#include "GUIManager.h"
#include "GuiRig.h"
#include "HealthReporter.h"
#include "InputMethod.h"
#include "RemoteSupport.h"
#include "SceneGraph.h"
#include "ScreenshotResponder.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QtTest>

namespace {
const int kTimeout = 30000;

// The panel on the scan prompt with remote support, and the depot's end of its connection.
struct Unit
{
    GuiRig device { GuiRig::unit("en_IE", "K12345678") };
    std::unique_ptr<RemoteSupport> support;
    manager::MqttClient depot;
    QMap<QString, QList<QByteArray>> got;

    bool start()
    {
        if (!device.load())
            return false;
        support = std::make_unique<RemoteSupport>(*device.gui, *device.config);
        depot.setTransportFactory(device.peerTransport());
        QObject::connect(&depot, &manager::MqttClient::received,
            [this](const QByteArray& data, const QByteArray& topic) { got[QString::fromUtf8(topic)] << data; });
        depot.subscribe("vexa/ui/#");
        depot.connect();
        device.setValidator("online");
        return device.waitForScreen("ScanScreens", kTimeout);
    }
    // Sends a request and waits for one more message on the answer's topic.
    QByteArray ask(const QString& request, const QString& answer)
    {
        const int before = got.value("vexa/ui/" + answer).size();
        depot.publish("{}", "vexa/ui/" + request);
        if (!QTest::qWaitFor([&] { return got.value("vexa/ui/" + answer).size() > before; }, kTimeout))
            return "timed out";
        return got["vexa/ui/" + answer].last();
    }
};
} // namespace

class TestRemoteSupport : public QObject
{
    Q_OBJECT

private slots:
    // Counted as the validator reported them; a burst inside the interval publishes nothing
    // more, a request is answered at once.
    void healthCountsFollowPlayedValidations()
    {
        Unit unit;
        QVERIFY(unit.start());
        unit.support->health()->setMinIntervalMillis(3600 * 1000);
        unit.ask("health/get", "health");
        const int published = unit.got["vexa/ui/health"].size();
        const auto valid = samples::valid("en_IE");
        const auto already = samples::alreadyValid("en_IE");
        const auto refused = samples::refused("en_IE");
        for (const auto& group : { valid, already, refused })
            for (const SampleValidation& ticket : group)
                unit.device.scan(ticket);
        unit.device.cardRetry();
        QVERIFY(unit.device.waitForScreen("Retry", kTimeout));
        QCOMPARE(unit.got["vexa/ui/health"].size(), published);

        const QJsonObject health = QJsonDocument::fromJson(unit.ask("health/get", "health")).object();
        const QJsonObject counts = health["counts"].toObject();
        QCOMPARE(counts["valid"].toInt(), valid.size());
        QCOMPARE(counts["alreadyValid"].toInt(), already.size());
        QCOMPARE(counts["refused"].toInt(), refused.size());
        QCOMPARE(counts["retry"].toInt(), 1);
        QVERIFY(QDateTime::fromString(health["lastValidation"].toString(), Qt::ISODate).isValid());
    }

    // The picture equals what the screenshot tool draws of the same screen (taken inside one
    // minute, for the header's clock); a second request inside the interval and the login page
    // are refused.
    void screenshotIsWhatThePassengerSees()
    {
        Unit unit;
        QVERIFY(unit.start());
        unit.device.setValidator("out-of-service");
        QVERIFY(unit.device.waitForScreen("OutOfService", kTimeout));
        GuiRig::settle(600);
        unit.support->screenshots()->setMinIntervalMillis(0);
        QImage picture, tool;
        for (int attempt = 0, minute = -1; attempt < 3 && minute != QTime::currentTime().minute(); ++attempt) {
            minute = QTime::currentTime().minute();
            QTemporaryDir out;
            QProcess shots;
            shots.start(SCREENSHOTS_BINARY, { "--out", out.path(), "--lang", "en_IE", "--only", "outofservice" });
            QVERIFY(shots.waitForFinished(180000));
            QVERIFY(tool.load(out.filePath("en_IE/outofservice.png")));
            QVERIFY(picture.loadFromData(unit.ask("screenshot/get", "screenshot"), "PNG"));
        }
        QCOMPARE(picture.size(), QSize(480, 800));
        QVERIFY(picture.convertToFormat(QImage::Format_RGB32) == tool.convertToFormat(QImage::Format_RGB32));

        unit.support->screenshots()->setMinIntervalMillis(3600 * 1000);
        QVERIFY(unit.ask("screenshot/get", "screenshot/error").contains("less than 3600 s"));
        unit.support->screenshots()->setMinIntervalMillis(0);
        unit.device.gui->setMaintenanceScreen();
        QVERIFY(unit.device.waitForScreen("Login", kTimeout));
        const int pictures = unit.got["vexa/ui/screenshot"].size();
        QVERIFY(unit.ask("screenshot/get", "screenshot/error").contains("login"));
        QCOMPARE(unit.got["vexa/ui/screenshot"].size(), pictures);
    }
};

// Started as the program and the screenshot tool start, so that the pictures can match.
int main(int argc, char* argv[])
{
    useInputMethod(chooseInputMethod(inputMethodPluginDirs()));
    useSceneGraphBackend(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName("Ticora");
    QCoreApplication::setApplicationVersion(TICORA_VERSION);
    QGuiApplication::setFont(QFont("DejaVu Sans"));
    TestRemoteSupport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_remotesupport.moc"
