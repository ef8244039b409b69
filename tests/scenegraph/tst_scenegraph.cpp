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
