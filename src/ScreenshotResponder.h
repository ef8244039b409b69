#pragma once

#include "ServiceClient.h"

#include <QElapsedTimer>
#include <QImage>

class GUIManager;
class QQuickWindow;

// Answers B + "/screenshot/get" with the window's current picture as PNG bytes on
// B + "/screenshot", or with {"error": reason} on B + "/screenshot/error" while the
// technician's PIN entry or a password field is shown, and to a request that comes
// sooner than the interval after the last picture. Taken from what is already drawn:
// nothing on screen moves or waits for it.
class ScreenshotResponder : public manager::ServiceClient
{
    Q_OBJECT

public:
    static constexpr int DefaultMinIntervalMillis = 5000;

    ScreenshotResponder(GUIManager& gui, const QString& base, QObject* parent = nullptr);

    void setMinIntervalMillis(int millis) { m_minInterval = millis; }
    // Why no picture may be sent now, or empty.
    QString refusal() const;
    // The PNG bytes of the window now; empty when there is no picture.
    static QByteArray png(QQuickWindow* window);

protected:
    void dispatch(const QString& topic, const QJsonObject& object) override;

private:
    void refuse(const QString& reason);

    GUIManager& m_gui;
    int m_minInterval = DefaultMinIntervalMillis;
    QElapsedTimer m_lastPicture;
};
