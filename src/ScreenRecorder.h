#pragma once

#include <QDir>
#include <QImage>
#include <QObject>
#include <QTimer>

class GUIManager;
class QQuickWindow;

// Saves a picture of the window each time the screen has settled, named
// "<seq>-<screen>.png". Meant for runs without a display (the demo under Xvfb) and
// for documentation; the device never enables it.
class ScreenRecorder : public QObject
{
    Q_OBJECT

public:
    // The variable naming the folder that turns the recorder on.
    static const char* const EnvironmentVariable;

    ScreenRecorder(GUIManager& manager, const QString& directory, QObject* parent = nullptr);

    // A recorder on the GUI manager when TICORA_SCREENSHOT_DIR names a folder, else null.
    static ScreenRecorder* fromEnvironment(GUIManager& manager);

    // The main window the manager's QML created, or null before it is loaded.
    static QQuickWindow* mainWindow(GUIManager& manager);
    // A picture of the window as it stands: rendered by the scene graph with OpenGL,
    // read back from the platform's screen with the software renderer.
    static QImage grab(QQuickWindow* window);

    void setSettleMillis(int millis) { m_settle.setInterval(millis); }
    int shotCount() const { return m_sequence; }

signals:
    void saved(const QString& path);

private slots:
    void capture();

private:
    GUIManager& m_manager;
    QDir m_dir;
    QTimer m_settle;
    int m_sequence = 0;
};
