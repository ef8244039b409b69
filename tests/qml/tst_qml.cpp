#include "MockManager.h"

#include <QFile>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

// Collects the warnings the QML produces so a test can require that there are none.
class WarningLog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList warnings READ warnings NOTIFY changed)
    // The artwork lives in its own folder; until it is there, missing pictures
    // are not what these tests judge.
    Q_PROPERTY(bool artworkPresent READ artworkPresent CONSTANT)
public:
    static WarningLog& instance()
    {
        static WarningLog log;
        return log;
    }
    QStringList warnings() const { return m_warnings; }
    bool artworkPresent() const { return QFile::exists(QStringLiteral(":/qml/images/background.png")); }
    Q_INVOKABLE void clear()
    {
        m_warnings.clear();
        emit changed();
    }
    void install() { m_previous = qInstallMessageHandler(&WarningLog::handler); }

signals:
    void changed();

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        WarningLog& log = instance();
        if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) {
            const bool missingArt = text.contains(QLatin1String("Cannot open: qrc:/qml/images/"));
            // The engine's own chatter about the offscreen GL fallback is no QML fault, and
            // the test files' own bindings (re-run by a language switch) are not judged.
            const bool platform = text.contains(QLatin1String("GL context"))
                || text.startsWith(QLatin1String("file:"));
            if (!(missingArt && !log.artworkPresent()) && !platform) {
                log.m_warnings.append(text);
                emit log.changed();
            }
        }
        if (log.m_previous)
            log.m_previous(type, context, text);
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_warnings;
};

// Gives every test engine the stand-in GUI manager, an empty transaction and the
// warning log, and the Material style the program runs with.
class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable() { QQuickStyle::setStyle(QStringLiteral("Material")); }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        if (!m_logInstalled) {
            WarningLog::instance().install();
            m_logInstalled = true;
        }
        m_manager.setEngine(engine);
        m_manager.reset();
        engine->rootContext()->setContextProperty(QStringLiteral("mock"), &m_manager);
        engine->rootContext()->setContextProperty(QStringLiteral("warningLog"), &WarningLog::instance());
    }

private:
    MockManager m_manager;
    bool m_logInstalled = false;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_qml, Setup)

#include "tst_qml.moc"
