#include "PictureProvider.h"
#include "SceneGraph.h"
#include "ScreenRecorder.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtTest>

// The renderer's choice, and Material controls drawn by the software renderer.
class tst_SceneGraph : public QObject
{
    Q_OBJECT
private slots:
    void softwareOnlyWithoutAGraphicsProcessor()
    {
        QTemporaryDir root;
        const QString dri = root.filePath(QStringLiteral("dev/dri"));
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "xcb", dri), QByteArrayLiteral("software"));
        QVERIFY(QDir().mkpath(dri));
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "offscreen", dri), QByteArrayLiteral("software"));
        QFile node(dri + QStringLiteral("/renderD128"));
        QVERIFY(node.open(QIODevice::WriteOnly));
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "xcb", dri), QByteArray());
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "linuxfb:fb=/dev/fb0", dri), QByteArrayLiteral("software"));
        QVERIFY(node.remove());
        // eglfs draws through the device's EGL; the environment's choice is Qt's.
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "eglfs", dri), QByteArray());
        QCOMPARE(chooseSceneGraphBackend("opengl", "xcb", dri), QByteArray());
        // No OpenGL on this platform at all, so Qt draws in software anyway.
        QVERIFY(node.open(QIODevice::WriteOnly));
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "minimal", dri), QByteArrayLiteral("software"));
    }

    // Qt's older variable asks for the software renderer too. Before the first
    // window: after it, Qt names the backend in use.
    void requestedBackendFromEverySource()
    {
        const QByteArray saved = qgetenv("QT_QUICK_BACKEND");
        qunsetenv("QT_QUICK_BACKEND");
        // Offscreen may give OpenGL, so nothing requested means OpenGL is expected.
        const bool nothingRequested = softwareSceneGraph();
        qputenv("QMLSCENE_DEVICE", "softwarecontext");
        const bool olderVariable = softwareSceneGraph();
        qunsetenv("QMLSCENE_DEVICE");
        qputenv("QT_QUICK_BACKEND", saved);
        QVERIFY(!nothingRequested);
        QVERIFY(olderVariable);
    }

    // Every way the application object accepts a platform name.
    void platformAsTheApplicationReadsIt_data()
    {
        QTest::addColumn<QByteArrayList>("args");
        QTest::addColumn<QByteArray>("platform");
        QTest::newRow("environment") << QByteArrayList{ "-v", "3" } << QByteArray("xcb");
        QTest::newRow("-platform NAME") << QByteArrayList{ "-platform", "linuxfb" } << QByteArray("linuxfb");
        QTest::newRow("--platform NAME") << QByteArrayList{ "--platform", "minimal" } << QByteArray("minimal");
        QTest::newRow("options") << QByteArrayList{ "-e", "-platform", "vnc:size=480x800" } << QByteArray("vnc:size=480x800");
        // Qt reads no "=": the program's own parser sees it.
        QTest::newRow("-platform=NAME") << QByteArrayList{ "-platform=eglfs" } << QByteArray("xcb");
        QTest::newRow("no name") << QByteArrayList{ "-platform" } << QByteArray("xcb");
    }
    void platformAsTheApplicationReadsIt()
    {
        QFETCH(QByteArrayList, args);
        QFETCH(QByteArray, platform);
        const QByteArray saved = qgetenv("QT_QPA_PLATFORM");
        qputenv("QT_QPA_PLATFORM", "xcb");
        args.prepend("ticora");
        std::vector<char*> argv;
        for (QByteArray& arg : args)
            argv.push_back(arg.data());
        const QByteArray found = requestedPlatform(int(argv.size()), argv.data());
        qputenv("QT_QPA_PLATFORM", saved);
        QCOMPARE(found, platform);
    }

    // Only Qt's own keyboard has its key icon swapped.
    void keyIconOfQtsKeyboardOnly()
    {
        ShaderFreeStyle style;
        const QUrl qts(QStringLiteral("qrc:/QtQuick/VirtualKeyboard/Styles/KeyIcon.qml"));
        const QUrl devices(QStringLiteral("file:///usr/lib/qt5/qml/QtQuick/FreeVirtualKeyboard/KeyIcon.qml"));
        QCOMPARE(style.intercept(qts, QQmlAbstractUrlInterceptor::QmlFile),
                 QUrl(QStringLiteral("qrc:/qml/controls/ShaderFreeKeyIcon.qml")));
        QCOMPARE(style.intercept(devices, QQmlAbstractUrlInterceptor::QmlFile), devices);
        QCOMPARE(style.intercept(qts, QQmlAbstractUrlInterceptor::JavaScriptFile), qts);
    }

    // The style's own effect would leave these blank under the software renderer.
    void materialBackgroundsAreDrawnWithoutShaders()
    {
        QVERIFY2(softwareSceneGraph(), "run with QT_QUICK_BACKEND=software");
        QQmlEngine engine;
        addPictureProviders(&engine);
        QVERIFY(ShaderFreeStyle::installIfNeeded(&engine));
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQuick 2.15
            import QtQuick.Controls 2.15
            import QtQuick.Controls.Material 2.15
            ApplicationWindow {
                width: 200; height: 200; visible: true; color: "black"
                ToolBar { width: 200; height: 40; Material.background: "#0000ff" }
                Button { x: 20; y: 60; width: 160; height: 60; Material.background: "#ff0000" }
            })",
            QUrl(QStringLiteral("qrc:/test/Controls.qml")));
        QScopedPointer<QObject> root(component.create());
        auto* window = qobject_cast<QQuickWindow*>(root.data());
        QVERIFY2(window, qPrintable(component.errorString()));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QImage image;
        QTRY_VERIFY_WITH_TIMEOUT((image = ScreenRecorder::grab(window).convertToFormat(QImage::Format_RGB32),
                                     !image.isNull() && image.pixel(100, 5) == qRgb(0, 0, 255)),
            20000);
        // A corner of the button, clear of its label.
        QCOMPARE(image.pixel(30, 70), qRgb(255, 0, 0));
    }
};

int main(int argc, char** argv)
{
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QGuiApplication app(argc, argv);
    tst_SceneGraph test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scenegraph.moc"
