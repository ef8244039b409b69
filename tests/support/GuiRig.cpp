#include "GuiRig.h"

#include "Config.h"
#include "GUIManager.h"
#include "ScreenRecorder.h"
#include "SettingsKeys.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

GuiRig::Setup GuiRig::unit(const QString& locale, const QString& deviceId)
{
    Setup setup;
    setup.deviceId = deviceId.isEmpty() ? QString() : deviceId;
    setup.settings.insert(manager::keys::Locale, locale);
    setup.simulatedClock = true;
    return setup;
}

GuiRig::GuiRig(const QString& deviceId, const QVariantMap& settings)
    : GuiRig([&] {
        Setup setup;
        setup.deviceId = deviceId;
        setup.settings = settings;
        return setup;
    }())
{
}

GuiRig::GuiRig(const Setup& setup)
    : m_folder(setup.folder.isEmpty() ? dir.path() : setup.folder)
{
    if (setup.simulatedClock) {
        // The clock client asks timedatectl for the zones as it is built: the simulated
        // one answers.
        const QByteArray path = qgetenv("PATH");
        if (!path.startsWith(TICORA_SIM_BIN))
            qputenv("PATH", QByteArray(TICORA_SIM_BIN ":") + path);
        qputenv("TICORA_SIM_TIMEZONE_FILE", QFile::encodeName(this->path(QStringLiteral("timezone"))));
    }

    const QString idFile = path(QStringLiteral("serialnumber"));
    if (!setup.deviceId.isNull()) {
        QFile f(idFile);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(setup.deviceId.toUtf8());
    }
    QVariantMap defaults = manager::keys::defaults();
    defaults.insert(manager::keys::DeviceId, idFile);
    defaults.insert(manager::keys::LogSyslog, false);
    defaults.insert(manager::keys::LogStderr, false);
    for (auto it = setup.settings.cbegin(); it != setup.settings.cend(); ++it)
        defaults.insert(it.key(), it.value());
    config = std::make_unique<Config>(path(QStringLiteral("gui.conf")), defaults);
    config->addOverrides(setup.overrides);

    GUIManager::Options options;
    options.transport = [this] {
        transport = new FakeTransport();
        return transport.data();
    };
    options.eventLogPath = path(QStringLiteral("events.ini"));
    options.mqttRetryMillis = 100;
    gui = std::make_unique<GUIManager>(*config, options);
}

GuiRig::~GuiRig() = default;

QString GuiRig::path(const QString& name) const { return QDir(m_folder).filePath(name); }

std::function<manager::MqttTransport*()> GuiRig::peerTransport()
{
    return [this] {
        auto* peer = new FakeTransport();
        if (transport)
            FakeTransport::wire(peer, transport);
        return peer;
    };
}

bool GuiRig::load()
{
    gui->load();
    m_window = ScreenRecorder::mainWindow(*gui);
    return m_window != nullptr;
}

QQuickItem* GuiRig::findIn(QQuickItem* root, const QString& objectName)
{
    if (!root)
        return nullptr;
    if (root->objectName() == objectName)
        return root;
    const auto children = root->childItems();
    for (QQuickItem* child : children) {
        if (QQuickItem* found = findIn(child, objectName))
            return found;
    }
    return nullptr;
}

QQuickItem* GuiRig::findItem(const QString& objectName) const
{
    return m_window ? findIn(m_window->contentItem(), objectName) : nullptr;
}

QQuickItem* GuiRig::screenItem(const QString& name) const
{
    QQuickItem* loader = findItem(QStringLiteral("screen_") + name);
    return loader ? loader->property("item").value<QQuickItem*>() : nullptr;
}

QString GuiRig::shownScreen() const { return m_window ? m_window->property("currentScreen").toString() : QString(); }

bool GuiRig::waitForScreen(const QString& name, int timeoutMsec)
{
    QDeadlineTimer deadline(timeoutMsec);
    while (shownScreen() != name || gui->screen() != name) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void GuiRig::settle(int msec)
{
    QEventLoop loop;
    QTimer::singleShot(msec, &loop, &QEventLoop::quit);
    loop.exec();
}

void GuiRig::inject(const QString& topic, const QJsonObject& object)
{
    if (transport)
        transport->inject(topic, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject GuiRig::validatorStatus(bool init, bool rfid, bool route, bool qr, bool obu)
{
    return QJsonObject { { QStringLiteral("service"), true },
        { QStringLiteral("obu"), QJsonObject { { QStringLiteral("vehicleUuid"), QStringLiteral("bus-0412") } } },
        { QStringLiteral("route"), QJsonObject { { QStringLiteral("axisName"), QStringLiteral("Line 31") } } },
        { QStringLiteral("state"),
            QJsonObject { { QStringLiteral("init"), init }, { QStringLiteral("hasRfid"), rfid },
                { QStringLiteral("hasRoute"), route }, { QStringLiteral("hasQr"), qr },
                { QStringLiteral("hasObu"), obu } } } };
}

void GuiRig::setValidator(const QString& state)
{
    const QString topic = QStringLiteral("vexa/blm/status");
    if (state == QLatin1String("online"))
        inject(topic, validatorStatus(false, true, true, true, true));
    else if (state == QLatin1String("degraded"))
        inject(topic, validatorStatus(false, true, true, false, true));
    else if (state == QLatin1String("init"))
        inject(topic, validatorStatus(true, true, true, true, true));
    else if (state == QLatin1String("out-of-service"))
        inject(topic, validatorStatus(false, true, false, true, true));
    else if (state == QLatin1String("no-rfid"))
        inject(topic, validatorStatus(false, false, true, true, true));
    else
        inject(topic, QJsonObject { { QStringLiteral("service"), false } });
}

void GuiRig::setIgnition(bool on)
{
    inject(QStringLiteral("vexa/board/status"),
        QJsonObject { { QStringLiteral("service"), true },
            { QStringLiteral("device"),
                QJsonObject { { QStringLiteral("active"), true }, { QStringLiteral("ignition"), on } } } });
}

void GuiRig::scan(const QJsonObject& transaction)
{
    inject(QStringLiteral("vexa/blm/rfid/scanned"), QJsonObject { { QStringLiteral("transaction"), transaction } });
}

void GuiRig::scan(const SampleValidation& validation)
{
    if (transport)
        transport->inject(validation.topic(), validation.message());
}

void GuiRig::cardRetry() { inject(QStringLiteral("vexa/blm/rfid/retry"), QJsonObject()); }

QStringList GuiRig::soundsPlayed() const
{
    QStringList out;
    for (const QByteArray& p : transport->payloadsOn(QStringLiteral("vexa/inspector/audio/play")))
        out << QJsonDocument::fromJson(p).object().value(QStringLiteral("filepath")).toString();
    return out;
}

int GuiRig::countOn(const QString& topic) const { return transport->payloadsOn(topic).size(); }
