#include "MockManager.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

// Selects Qt's virtual keyboard before the application exists, as the program
// does when the device's own keyboard plug-in is missing.
class KeyboardSetup : public QObject
{
    Q_OBJECT
public:
    KeyboardSetup()
    {
        qputenv("QT_IM_MODULE", "qtvirtualkeyboard");
        // No word prediction on a serial number; its dictionaries are not installed.
        qputenv("QT_LOGGING_RULES", "qt.virtualkeyboard.hunspell.warning=false");
    }

public slots:
    void applicationAvailable() { QQuickStyle::setStyle(QStringLiteral("Material")); }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        m_manager.setEngine(engine);
        m_manager.reset();
        engine->rootContext()->setContextProperty(QStringLiteral("mock"), &m_manager);
    }

private:
    MockManager m_manager;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_qmlkeyboard, KeyboardSetup)

#include "tst_qmlkeyboard.moc"
