#include "ScreenRecorder.h"

#include "GUIManager.h"

#include <QDebug>
#include <QImage>
#include <QQuickWindow>
#include <QScreen>

#define REC_LOG(level) level().noquote().nospace() << "[ScreenRecorder] "

const char* const ScreenRecorder::EnvironmentVariable = "TICORA_SCREENSHOT_DIR";

ScreenRecorder::ScreenRecorder(GUIManager& manager, const QString& directory, QObject* parent)
    : QObject(parent)
    , m_manager(manager)
    , m_dir(directory)
{
    if (!m_dir.mkpath(QStringLiteral(".")))
        REC_LOG(qWarning) << "WARN: Cannot create the screenshot folder : " << m_dir.absolutePath();

    // Screens fade and load images after the switch; a quick succession of switches
    // gives one picture of the screen that stays.
    m_settle.setSingleShot(true);
    m_settle.setInterval(700);
    connect(&m_settle, &QTimer::timeout, this, &ScreenRecorder::capture);
    connect(&m_manager, &GUIManager::screenChanged, &m_settle, QOverload<>::of(&QTimer::start));

    REC_LOG(qInfo) << "Saving a screenshot at every screen change into : " << m_dir.absolutePath();
    // The first screen was set before the recorder existed.
    m_settle.start();
}

ScreenRecorder* ScreenRecorder::fromEnvironment(GUIManager& manager)
{
    const QString directory = qEnvironmentVariable(EnvironmentVariable);
    if (directory.isEmpty())
        return nullptr;
    return new ScreenRecorder(manager, directory, &manager);
}

QQuickWindow* ScreenRecorder::window() const
{
    for (QObject* root : m_manager.engine().rootObjects())
        if (auto* w = qobject_cast<QQuickWindow*>(root))
            return w;
    return nullptr;
}

void ScreenRecorder::capture()
{
    const QString screen = m_manager.screen().isEmpty() ? QStringLiteral("none") : m_manager.screen();
    QQuickWindow* w = window();
    if (!w || !w->isExposed()) {
        REC_LOG(qWarning) << "WARN: No window to capture for screen : " << screen;
        return;
    }
    // With OpenGL (Xvfb, a real display) the scene graph renders the picture; the
    // software renderer returns nothing there, but its window can be read back from
    // the platform's screen (offscreen, VNC).
    QImage image = w->grabWindow();
    if (image.isNull() && w->screen())
        image = w->screen()->grabWindow(w->winId()).toImage();
    if (image.isNull()) {
        REC_LOG(qWarning) << "WARN: Could not grab the window for screen : " << screen;
        return;
    }
    const QString name = QStringLiteral("%1-%2.png").arg(m_sequence + 1, 3, 10, QLatin1Char('0')).arg(screen);
    const QString path = m_dir.filePath(name);
    if (!image.save(path, "PNG")) {
        REC_LOG(qWarning) << "WARN: Could not save screenshot : " << path;
        return;
    }
    ++m_sequence;
    REC_LOG(qInfo) << "Screenshot of " << screen << " saved : " << path;
    emit saved(path);
}
