#pragma once

#include <QByteArray>
#include <QQmlAbstractUrlInterceptor>
#include <QString>

class QQmlEngine;
class QQuickWindow;

// Which scene graph draws the window. A unit without a graphics processor would
// run OpenGL through a software rasteriser that fills every pixel of the window
// at each animation step; Qt Quick's software renderer repaints only what changed
// and costs a fraction of it. Under a window system or headless (xcb, wayland,
// offscreen...) the graphics processor is seen by its render node
// (<driDir>/renderD*, <driDir>/card*); without one the software renderer is
// chosen; a frame buffer (linuxfb) or vnc always gets it. eglfs draws through the
// device's own EGL, which may have no render node, so it keeps OpenGL. A backend
// named in QT_QUICK_BACKEND (or the older QMLSCENE_DEVICE) always wins. Empty: Qt's
// default.
QByteArray chooseSceneGraphBackend(const QByteArray& requested, const QByteArray& platform, const QString& driDir);

// True for a platform plug-in that never gives Qt Quick an OpenGL context; Qt then
// draws with the software renderer whatever the program asked for.
bool platformWithoutOpenGL(const QByteArray& platform);

// The platform the application object will load: QT_QPA_PLATFORM, unless argv
// names one ("-platform NAME" or "--platform NAME", as Qt reads them).
QByteArray requestedPlatform(int argc, char** argv);

// The backend requested from a source Qt reads: the program's own choice, then
// QT_QUICK_BACKEND, then QMLSCENE_DEVICE. Empty when none is.
QString requestedSceneGraphBackend();

// The device's render-node folder, under TICORA_DEVICE_ROOT when set.
QString deviceDriDir();

// Chooses for this process (its environment, and "-platform" in argv as the
// application will read it) and asks Qt for it; before the application object
// exists. Returns the backend asked for, empty when Qt's default is kept.
QByteArray useSceneGraphBackend(int argc, char** argv);

// True when the window is drawn by the software renderer, which draws no shader
// effects: the requested backend, or failing one the platform the application
// really loaded.
bool softwareSceneGraph();

// Once a window has drawn its first frame, says in the log when the renderer Qt
// really uses is not the one the style was chosen for; once the Loader item named
// `lastBuilt` is ready, whether the style's effect was swapped (ShaderFreeStyle).
void checkSceneGraphOf(QQuickWindow* window, const QString& lastBuilt = QString());

// The Material style lays its elevation shadows and the control backgrounds over
// them through a shader effect, which the software renderer leaves out: buttons,
// combo boxes, switches and tool bars would lose their backgrounds; Qt's virtual
// keyboard colours its key icons with one, and they would vanish. Under that
// renderer this swaps both for ones drawn from pictures and layers.
class ShaderFreeStyle : public QQmlAbstractUrlInterceptor
{
public:
    QUrl intercept(const QUrl& url, DataType type) override;
    // Installs it on engine when the software renderer draws; true if it did.
    static bool installIfNeeded(QQmlEngine* engine);
    // Whether the style's elevation effect was ever swapped in this process. A Qt
    // that renames the file would leave the controls blank without it.
    static bool effectIntercepted();
    // Warns when the style is in use and the effect was never swapped, though
    // controls that use it exist by now.
    static void checkEffectIntercepted();
};
