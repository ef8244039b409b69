#include "ScreenshotResponder.h"

#include "GUIManager.h"
#include "MqttClient.h"
#include "ScreenRecorder.h"

#include <QBuffer>
#include <QDebug>
#include <QImageWriter>
#include <QQuickItem>
#include <QQuickWindow>

#define SHOT_LOG(level) level().noquote().nospace() << "[Screenshot] "

namespace {

// A text field that hides what is typed (a PIN or a password) and is on screen now.
bool secretFieldShown(const QQuickItem* item)
{
    if (!item || !item->isVisible())
        return false;
    // TextInput's echo mode; 0 is Normal, every other mode hides the text.
    if (item->inherits("QQuickTextInput") && item->property("echoMode").toInt() != 0)
        return true;
    const auto children = item->childItems();
    for (const QQuickItem* child : children)
        if (secretFieldShown(child))
            return true;
    return false;
}

} // namespace

ScreenshotResponder::ScreenshotResponder(GUIManager& gui, const QString& base, QObject* parent)
    : ServiceClient(gui.mqtt(), base, QStringLiteral("[Screenshot] "), parent), m_gui(gui)
{
    subscribe(topic("/screenshot/get"));
}

QString ScreenshotResponder::refusal() const
{
    // The PIN is typed in plain digits on the login page.
    if (m_gui.screen() == QLatin1String("Login"))
        return QStringLiteral("the technician login is shown");
    QQuickWindow* window = ScreenRecorder::mainWindow(m_gui);
    if (window && secretFieldShown(window->contentItem()))
        return QStringLiteral("a PIN or a password is being typed");
    if (m_lastPicture.isValid() && m_lastPicture.elapsed() < m_minInterval)
        return QStringLiteral("less than %1 s since the last picture").arg(m_minInterval / 1000.0);
    if (!window || !window->isExposed())
        return QStringLiteral("no window is shown");
    return QString();
}

QByteArray ScreenshotResponder::png(QQuickWindow* window)
{
    // The window is opaque: without the alpha channel the file is smaller and quicker to write.
    const QImage image = ScreenRecorder::grab(window).convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return QByteArray();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    // Encoded on the one event loop, between frames: a light compression takes half the
    // time of zlib's default for a third more bytes (about 90 KB); the lightest one
    // would send over a megabyte through the vehicle's link.
    writer.setQuality(70);
    if (!writer.write(image))
        return QByteArray();
    return bytes;
}

void ScreenshotResponder::dispatch(const QString& t, const QJsonObject&)
{
    if (t != topic("/screenshot/get"))
        return;
    const QString reason = refusal();
    if (!reason.isEmpty()) {
        refuse(reason);
        return;
    }
    const QByteArray bytes = png(ScreenRecorder::mainWindow(m_gui));
    if (bytes.isEmpty()) {
        refuse(QStringLiteral("the window could not be pictured"));
        return;
    }
    if (!publish(topic("/screenshot"), bytes)) {
        SHOT_LOG(qWarning) << "WARN: Could not send the screenshot of " << m_gui.screen();
        return;
    }
    m_lastPicture.start();
    SHOT_LOG(qInfo) << "Screenshot of " << m_gui.screen() << " sent (" << bytes.size() << " bytes)";
}

void ScreenshotResponder::refuse(const QString& reason)
{
    SHOT_LOG(qInfo) << "Screenshot refused : " << reason;
    publishJson(topic("/screenshot/error"), QJsonObject { { QStringLiteral("error"), reason } });
}
