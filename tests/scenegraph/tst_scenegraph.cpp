#include "PictureProvider.h"
#include "SceneGraph.h"
#include "ScreenRecorder.h"

#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A Material button, switch and tool bar, each in a colour of its own.
const QByteArray Controls = R"(
import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
ApplicationWindow {
    width: 200; height: 200; visible: true
    color: "black"
    ToolBar { width: 200; height: 40; Material.background: "#0000ff" }
    Button { objectName: "button"; x: 20; y: 60; width: 160; height: 60; Material.background: "#ff0000" }
    Switch { x: 20; y: 130; checked: true; Material.accent: "#00ff00" }
}
)";

bool near(QRgb pixel, QRgb colour)
{
    return qAbs(qRed(pixel) - qRed(colour)) < 16 && qAbs(qGreen(pixel) - qGreen(colour)) < 16
        && qAbs(qBlue(pixel) - qBlue(colour)) < 16;
}

} // namespace

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
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), QByteArray(), dri), QByteArrayLiteral("software"));
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "offscreen", dri), QByteArrayLiteral("software"));
        for (const char* node : { "card0", "renderD128" }) {
            QFile file(dri + QLatin1Char('/') + QLatin1String(node));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QCOMPARE(chooseSceneGraphBackend(QByteArray(), "xcb", dri), QByteArray());
            QVERIFY(file.remove());
        }
        // eglfs draws through the device's EGL, render node or not; what the
        // service's environment names is left to Qt.
        QCOMPARE(chooseSceneGraphBackend(QByteArray(), "eglfs", dri), QByteArray());
        QCOMPARE(chooseSceneGraphBackend("opengl", "xcb", dri), QByteArray());
    }

    void onlyTheShaderEffectsAreSwapped()
    {
        ShaderFreeStyle style;
        const QString material = QStringLiteral("file:///usr/lib/qt5/qml/QtQuick/Controls.2/Material/");
        QCOMPARE(style.intercept(QUrl(material + QStringLiteral("ElevationEffect.qml")), ShaderFreeStyle::QmlFile),
            QUrl(QStringLiteral("qrc:/qml/controls/ShaderFreeElevation.qml")));
        QCOMPARE(style.intercept(QUrl(QStringLiteral("qrc:/QtQuick/VirtualKeyboard/Styles/KeyIcon.qml")), ShaderFreeStyle::QmlFile),
            QUrl(QStringLiteral("qrc:/qml/controls/ShaderFreeKeyIcon.qml")));
        // A key icon of anything else is not the keyboard's.
        QCOMPARE(style.intercept(QUrl(QStringLiteral("qrc:/qml/controls/KeyIcon.qml")), ShaderFreeStyle::QmlFile),
            QUrl(QStringLiteral("qrc:/qml/controls/KeyIcon.qml")));
        for (const QString& other : { material + QStringLiteral("Button.qml"), material + QStringLiteral("qmldir") }) {
            QCOMPARE(style.intercept(QUrl(other), ShaderFreeStyle::QmlFile), QUrl(other));
        }
        QCOMPARE(style.intercept(QUrl(material + QStringLiteral("ElevationEffect.qml")), ShaderFreeStyle::JavaScriptFile),
            QUrl(material + QStringLiteral("ElevationEffect.qml")));
    }

    // The software renderer leaves out the style's shader effect, and with it the
    // backgrounds drawn through it; with the swapped effect they are drawn.
    void materialBackgroundsAreDrawnWithoutShaders_data()
    {
        QTest::addColumn<bool>("swapped");
        QTest::newRow("style as shipped") << false;
        QTest::newRow("effect swapped") << true;
    }

    void materialBackgroundsAreDrawnWithoutShaders()
    {
        QFETCH(bool, swapped);
        QVERIFY2(softwareSceneGraph(), "run with QT_QUICK_BACKEND=software");
        QQmlEngine engine;
        addPictureProviders(&engine);
        if (swapped)
            QVERIFY(ShaderFreeStyle::installIfNeeded(&engine));
        QQmlComponent component(&engine);
        component.setData(Controls, QUrl(QStringLiteral("qrc:/test/Controls.qml")));
        QScopedPointer<QObject> root(component.create());
        QVERIFY2(root, qPrintable(component.errorString()));
        auto* window = qobject_cast<QQuickWindow*>(root.data());
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QImage image;
        // Wait for a frame with the tool bar in it: it is drawn either way.
        QTRY_VERIFY_WITH_TIMEOUT((image = ScreenRecorder::grab(window).convertToFormat(QImage::Format_RGB32),
                                     !image.isNull() && near(image.pixel(100, 5), qRgb(0, 0, 255)) == swapped
                                         && near(image.pixel(100, 5), qRgb(0, 0, 0)) != swapped),
            20000);
        // A corner of the button, clear of its label.
        QCOMPARE(near(image.pixel(30, 70), qRgb(255, 0, 0)), swapped);
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
