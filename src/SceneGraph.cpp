#include "SceneGraph.h"

#include <QDir>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QUrl>

QByteArray chooseSceneGraphBackend(const QByteArray& requested, const QByteArray& platform, const QString& driDir)
{
    if (!requested.isEmpty() || platform.startsWith("eglfs"))
        return QByteArray();
    // A frame buffer or a remote screen never draws with OpenGL, whatever the unit has;
    // Qt would fall back on its own, but unannounced, and the style would go unfixed.
    if (platform.startsWith("linuxfb") || platform.startsWith("vnc"))
        return QByteArrayLiteral("software");
    const QStringList nodes = QDir(driDir).entryList({ QStringLiteral("renderD*"), QStringLiteral("card*") }, QDir::System | QDir::Files);
    return nodes.isEmpty() ? QByteArrayLiteral("software") : QByteArray();
}

QString deviceDriDir()
{
    return qEnvironmentVariable("TICORA_DEVICE_ROOT") + QStringLiteral("/dev/dri");
}

QByteArray useSceneGraphBackend(int argc, char** argv)
{
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0)
            platform = argv[i + 1];
    }
    const QByteArray backend = chooseSceneGraphBackend(qgetenv("QT_QUICK_BACKEND"), platform, deviceDriDir());
    if (!backend.isEmpty())
        QQuickWindow::setSceneGraphBackend(QString::fromLatin1(backend));
    return backend;
}

bool softwareSceneGraph()
{
    QString backend = QQuickWindow::sceneGraphBackend();
    if (backend.isEmpty())
        backend = qEnvironmentVariable("QT_QUICK_BACKEND");
    return backend == QLatin1String("software") || backend == QLatin1String("softwarecontext");
}

QUrl ShaderFreeStyle::intercept(const QUrl& url, DataType type)
{
    static const QString effect = QStringLiteral("/QtQuick/Controls.2/Material/ElevationEffect.qml");
    static const QString keyIcon = QStringLiteral("/KeyIcon.qml");
    if (type != QmlFile)
        return url;
    const QString path = url.path();
    if (path.endsWith(effect))
        return QUrl(QStringLiteral("qrc:/qml/controls/ShaderFreeElevation.qml"));
    if (path.endsWith(keyIcon) && path.contains(QLatin1String("VirtualKeyboard")))
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
    return true;
}
