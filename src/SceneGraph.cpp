#include "SceneGraph.h"

#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QUrl>

#include <memory>

namespace {

bool softwareBackend(const QString& backend)
{
    return backend == QLatin1String("software") || backend == QLatin1String("softwarecontext");
}

bool s_styleInstalled = false;
bool s_effectIntercepted = false;

} // namespace

bool platformWithoutOpenGL(const QByteArray& platform)
{
    const int options = platform.indexOf(':');
    const QByteArray name = options < 0 ? platform : platform.left(options);
    return name == "linuxfb" || name == "vnc" || name == "minimal";
}

QByteArray chooseSceneGraphBackend(const QByteArray& requested, const QByteArray& platform, const QString& driDir)
{
    if (!requested.isEmpty() || platform.startsWith("eglfs"))
        return QByteArray();
    // A frame buffer or a remote screen never draws with OpenGL, whatever the unit has;
    // Qt would fall back on its own, but unannounced, and the style would go unfixed.
    if (platformWithoutOpenGL(platform))
        return QByteArrayLiteral("software");
    const QStringList nodes = QDir(driDir).entryList({ QStringLiteral("renderD*"), QStringLiteral("card*") }, QDir::System | QDir::Files);
    return nodes.isEmpty() ? QByteArrayLiteral("software") : QByteArray();
}

QString deviceDriDir()
{
    return qEnvironmentVariable("TICORA_DEVICE_ROOT") + QStringLiteral("/dev/dri");
}

QByteArray requestedPlatform(int argc, char** argv)
{
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i) {
        QByteArray arg(argv[i]);
        if (arg.startsWith("--"))
            arg.remove(0, 1);
        // Qt 5.15 takes no "-platform=NAME": it leaves that to the program.
        if (arg == "-platform" && i + 1 < argc)
            platform = argv[++i];
    }
    return platform;
}

QString requestedSceneGraphBackend()
{
    QString backend = QQuickWindow::sceneGraphBackend();
    if (backend.isEmpty())
        backend = qEnvironmentVariable("QT_QUICK_BACKEND");
    if (backend.isEmpty())
        backend = qEnvironmentVariable("QMLSCENE_DEVICE");
    return backend;
}

QByteArray useSceneGraphBackend(int argc, char** argv)
{
    const QByteArray requested = requestedSceneGraphBackend().toLatin1();
    const QByteArray backend = chooseSceneGraphBackend(requested, requestedPlatform(argc, argv), deviceDriDir());
    if (!backend.isEmpty())
        QQuickWindow::setSceneGraphBackend(QString::fromLatin1(backend));
    return backend;
}

bool softwareSceneGraph()
{
    const QString backend = requestedSceneGraphBackend();
    if (!backend.isEmpty())
        return softwareBackend(backend);
    return qGuiApp && platformWithoutOpenGL(QGuiApplication::platformName().toLatin1());
}

static QQuickItem* findItem(QQuickItem* root, const QString& name)
{
    if (!root || root->objectName() == name)
        return root;
    const auto children = root->childItems();
    for (QQuickItem* child : children) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

void checkSceneGraphOf(QQuickWindow* window, const QString& lastBuilt)
{
    // Frames come on the GUI thread with the software renderer and the basic loop;
    // the threaded OpenGL loop sends them from its render thread, hence the queue.
    auto connection = std::make_shared<QMetaObject::Connection>();
    auto rendererChecked = std::make_shared<bool>(false);
    // Items a Repeater makes have no object parent: look them up as items.
    QPointer<QQuickItem> loader(lastBuilt.isEmpty() ? nullptr : findItem(window->contentItem(), lastBuilt));
    *connection = QObject::connect(window, &QQuickWindow::frameSwapped, window, [=] {
        if (!*rendererChecked) {
            *rendererChecked = true;
            const QSGRendererInterface* renderer = window->rendererInterface();
            const bool software = renderer && renderer->graphicsApi() == QSGRendererInterface::Software;
            if (renderer && software != softwareSceneGraph()) {
                qWarning().noquote().nospace()
                    << "[SceneGraph] WARN: The window is drawn by the " << (software ? "software" : "OpenGL")
                    << " renderer, but the style was chosen for the " << (software ? "OpenGL" : "software")
                    << " renderer";
            }
        }
        // Loader.Ready
        if (loader && loader->property("status").toInt() != 1)
            return;
        if (loader)
            ShaderFreeStyle::checkEffectIntercepted();
        QObject::disconnect(*connection);
    }, Qt::QueuedConnection);
}

QUrl ShaderFreeStyle::intercept(const QUrl& url, DataType type)
{
    static const QString effect = QStringLiteral("/QtQuick/Controls.2/Material/ElevationEffect.qml");
    // Only Qt's own keyboard: the device's keyboard plug-in may have a KeyIcon.qml too.
    static const QString keyIcon = QStringLiteral("/QtQuick/VirtualKeyboard/Styles/KeyIcon.qml");
    if (type != QmlFile)
        return url;
    const QString path = url.path();
    if (path.endsWith(effect)) {
        s_effectIntercepted = true;
        return QUrl(QStringLiteral("qrc:/qml/controls/ShaderFreeElevation.qml"));
    }
    if (path.endsWith(keyIcon))
        return QUrl(QStringLiteral("qrc:/qml/controls/ShaderFreeKeyIcon.qml"));
    return url;
}

bool ShaderFreeStyle::installIfNeeded(QQmlEngine* engine)
{
    if (!softwareSceneGraph())
        return false;
    // Stateless, so one serves every engine for the whole run.
    static ShaderFreeStyle style;
    engine->setUrlInterceptor(&style);
    if (!s_styleInstalled) {
        s_styleInstalled = true;
        qInfo().noquote().nospace()
            << "[SceneGraph] The software renderer draws no shader effects: the style's elevation "
               "and the keyboard's key icons are drawn without them";
    }
    return true;
}

bool ShaderFreeStyle::effectIntercepted() { return s_effectIntercepted; }

void ShaderFreeStyle::checkEffectIntercepted()
{
    if (s_styleInstalled && !s_effectIntercepted) {
        qWarning().noquote().nospace()
            << "[SceneGraph] WARN: The style's elevation effect was never replaced (was it renamed in this Qt?): "
               "buttons, switches and tool bars may be drawn without their backgrounds";
    }
}
