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

QQuickWindow* ScreenRecorder::mainWindow(GUIManager& manager)
{
    for (QObject* root : manager.engine().rootObjects())
        if (auto* w = qobject_cast<QQuickWindow*>(root))
            return w;
    return nullptr;
}

QImage ScreenRecorder::grab(QQuickWindow* window)
{
    if (!window)
        return QImage();
    // The software renderer returns nothing here, but its window can be read back
    // from the platform's screen (offscreen).
    QImage image = window->grabWindow();
    if (image.isNull() && window->screen())
        image = window->screen()->grabWindow(window->winId()).toImage();
    return image;
}

void ScreenRecorder::capture()
{
    const QString screen = m_manager.screen().isEmpty() ? QStringLiteral("none") : m_manager.screen();
    QQuickWindow* w = mainWindow(m_manager);
    if (!w || !w->isExposed()) {
        REC_LOG(qWarning) << "WARN: No window to capture for screen : " << screen;
        return;
    }
    const QImage image = grab(w);
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
