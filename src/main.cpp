#include "CommandLine.h"
#include "Config.h"
#include "GUIManager.h"
#include "InputMethod.h"
#include "RemoteSupport.h"
#include "SceneGraph.h"
#include "ScreenRecorder.h"

#include <QFont>
#include <QDebug>
#include <QGuiApplication>

int main(int argc, char* argv[])
{
    // Read by the platform when the application object is created. Qt's own virtual
    // keyboard stands in where the device's plug-in is not installed; the service's
    // environment file may name one (TICORA_IM_MODULE).
    QByteArray inputMethod = qgetenv("TICORA_IM_MODULE");
    if (inputMethod.isEmpty())
        inputMethod = chooseInputMethod(inputMethodPluginDirs());
    useInputMethod(inputMethod);

    const QByteArray sceneGraph = useSceneGraphBackend(argc, argv);

    // Read when the application object is created.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    auto* app = new QGuiApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ticora"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Ticora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("vexa"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vexa.example"));

    auto* overrides = new QVariantMap(parseCLIArgs());
    const QString filename = overrides->value(QStringLiteral("config"), QStringLiteral("gui.conf")).toString();
    auto* config = new Config(filename, GUIManager::Defaults);
    config->addOverrides(*overrides);

    // The manager registers the font itself when it builds the window.
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));

    qInfo().noquote().nospace() << "Input method : " << QString::fromLatin1(inputMethod);
    if (!sceneGraph.isEmpty())
        qInfo().noquote().nospace() << "Renderer : " << QString::fromLatin1(sceneGraph);

    // An installed program's folder is read-only: the service keeps the event log in
    // its state folder.
    GUIManager::Options options;
    options.eventLogPath = qEnvironmentVariable("TICORA_EVENT_LOG");
    auto* gui = new GUIManager(*config, options);
    // Before the window loads: its uptime and counts start with the manager.
    new RemoteSupport(*gui, *config, gui);
    gui->load();
    ScreenRecorder::fromEnvironment(*gui);

    const int result = app->exec();

    delete gui;
    delete config;
    delete overrides;
    delete app;
    return result;
}
