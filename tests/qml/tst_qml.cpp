#include "MockManager.h"

#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

// Gives every test engine the stand-in GUI manager and an empty transaction,
// and the Material style the program runs with.
class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable() { QQuickStyle::setStyle(QStringLiteral("Material")); }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        m_manager.reset();
        m_manager.setEngine(engine);
        m_manager.reset();
    }

private:
    MockManager m_manager;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_qml, Setup)

#include "tst_qml.moc"
