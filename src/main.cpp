#include "CommandLine.h"
#include "Config.h"
#include "GUIManager.h"
#include "Logger.h"
#include "MqttClient.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

namespace {

// Stands in for the GUI manager's own set-up until it exists: logging from the
// store, the configuration printed, and the one broker connection.
manager::MqttClient* startServices(Config& config)
{
    manager::Logger* logger = manager::Logger::instance();
    logger->setLevel(config.get(QStringLiteral("log/level")).toInt());
    logger->setStderr(config.get(QStringLiteral("log/stderr")).toBool());
    logger->setSyslog(config.get(QStringLiteral("log/syslog")).toBool());
    logger->setColor(config.get(QStringLiteral("log/color")).toBool());

    config.print();

    auto* mqtt = new manager::MqttClient;
    mqtt->setClientId(QStringLiteral("%1_%2").arg(QCoreApplication::applicationName())
                          .arg(QCoreApplication::applicationPid()));
    mqtt->setWillMessage(QByteArrayLiteral("{\"service\": false}"));
    mqtt->setWillTopic(config.get(QStringLiteral("mqtt/base")).toString() + QStringLiteral("/status"));
    mqtt->setHostname(config.get(QStringLiteral("mqtt/host")).toString());
    mqtt->setPort(config.get(QStringLiteral("mqtt/port")).toInt());
    mqtt->setUsername(config.get(QStringLiteral("mqtt/username")).toString());
    mqtt->setPassword(config.get(QStringLiteral("mqtt/password")).toString());
    mqtt->connect();
    return mqtt;
}

} // namespace

int main(int argc, char* argv[])
{
    // Read by the platform when the application object is created.
    qputenv("QT_IM_MODULE", QByteArrayLiteral("freevirtualkeyboard"));

    auto* app = new QGuiApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ticora"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Ticora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("vexa"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vexa.example"));
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);

    auto* overrides = new QVariantMap(parseCLIArgs());
    const QString filename = overrides->value(QStringLiteral("config"), QStringLiteral("gui.conf")).toString();
    auto* config = new Config(filename, GUIManager::Defaults);
    config->addOverrides(*overrides);

    QFontDatabase::addApplicationFont(QStringLiteral(":/qml/fonts/DejaVuSans.ttf"));
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));

    manager::MqttClient* services = startServices(*config);

    const int result = app->exec();

    delete services;
    delete config;
    delete overrides;
    delete app;
    return result;
}
