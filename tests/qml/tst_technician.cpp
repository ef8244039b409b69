#include "Config.h"
#include "Event.h"
#include "EventManager.h"
#include "FakeTransport.h"
#include "MockManager.h"
#include "Network.h"
#include "Update.h"

#include <QQmlContext>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QtQuickTest>

// The stand-in GUI manager with the real update client behind it.
class TechnicianManager : public MockManager
{
    Q_OBJECT
    Q_PROPERTY(manager::Update* update READ update CONSTANT)
public:
    explicit TechnicianManager(manager::Update* update)
        : m_update(update)
    {
    }
    manager::Update* update() const { return m_update; }

private:
    manager::Update* m_update;
};

// The real network, update and event log objects on a fake broker connection:
// tests inject what the services say and read what the pages sent.
class Device : public QObject
{
    Q_OBJECT
public:
    Device()
        : m_config(m_dir.filePath(QStringLiteral("gui.conf")), QVariantMap())
        , m_network(m_mqtt.client, QStringLiteral("vexa/network"))
        , m_update(m_mqtt.client, QStringLiteral("vexa/device"))
        , m_events(m_config, m_dir.filePath(QStringLiteral("events.ini")))
        , m_manager(&m_update)
    {
    }

    void attach(QQmlEngine* engine)
    {
        m_manager.setEngine(engine);
        m_manager.reset();
        engine->rootContext()->setContextProperty(QStringLiteral("network"), &m_network);
        engine->rootContext()->setContextProperty(QStringLiteral("eventLogManager"), &m_events);
        engine->rootContext()->setContextProperty(QStringLiteral("device"), this);
    }

    Q_INVOKABLE void inject(const QString& topic, const QString& payload)
    {
        m_mqtt.transport->inject(topic, payload.toUtf8());
    }
    Q_INVOKABLE QStringList sent(const QString& topic) const
    {
        QStringList out;
        for (const QByteArray& payload : m_mqtt.transport->payloadsOn(topic))
            out << QString::fromUtf8(payload);
        return out;
    }
    Q_INVOKABLE void clear() { m_mqtt.transport->published.clear(); }
    Q_INVOKABLE void pushEvent(const QString& name, int daysAgo)
    {
        m_events.push(
            new Event(QStringLiteral("General"), name, QString(), QDateTime::currentDateTime().addDays(-daysAgo)));
    }

private:
    QTemporaryDir m_dir;
    FakeMqtt m_mqtt;
    Config m_config;
    manager::Network m_network;
    manager::Update m_update;
    EventManager m_events;
    TechnicianManager m_manager;
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable() { QQuickStyle::setStyle(QStringLiteral("Material")); }
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        // Made once the application exists: the clients start timers.
        if (!m_device)
            m_device = std::make_unique<Device>();
        m_device->attach(engine);
    }
    void cleanupTestCase() { m_device.reset(); }

private:
    std::unique_ptr<Device> m_device;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_technician, Setup)

#include "tst_technician.moc"
