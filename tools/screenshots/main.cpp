// ticora-screenshots: pictures of every passenger screen, the login page and the
// technician's pages, in each language, taken from the real GUI manager and QML
// while a script plays the sibling services (validator states, scanned tickets,
// card retries, the ignition) and then the simulated services answer the pages.
//
//   ticora-screenshots [--out DIR] [--lang en_US,el_GR] [--only TEXT] [--verbose]
//
// Writes DIR/<locale>/<screen>.png (scripts/screenshots.sh runs it under Xvfb). It
// picks the renderer as the program does: the software one on a machine without a
// graphics processor.

#include "Config.h"
#include "DeviceSimulator.h"
#include "Diagnostics.h"
#include "GUIManager.h"
#include "GuiRig.h"
#include "InputMethod.h"
#include "Logger.h"
#include "PictureProvider.h"
#include "SceneGraph.h"
#include "ScreenRecorder.h"
#include "Update.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTemporaryDir>

#include <functional>

namespace {

QStringList g_qmlWarnings;
QtMessageHandler g_previousHandler = nullptr;
bool g_verbose = false;

// The QML's own faults are worth seeing even when the program's log is off.
void collectWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const bool fromQml = text.contains(QLatin1String("qrc:/qml"))
        || (qstrcmp(context.category, "qml") == 0 && !text.startsWith(QLatin1String("[QML]")));
    if (type >= QtWarningMsg && type != QtInfoMsg && fromQml) {
        g_qmlWarnings << text;
        fprintf(stderr, "[Screenshots] QML warning: %s\n", qPrintable(text));
    }
    if (g_verbose && g_previousHandler)
        g_previousHandler(type, context, text);
}

class Photographer
{
public:
    Photographer(GuiRig& device, const QString& folder, const QString& only)
        : m_device(device)
        , m_folder(folder)
        , m_only(only)
    {
    }

    bool failed() const { return m_failed; }
    int taken() const { return m_taken; }

    // The two single-animation pages are chosen by the QML alone, as their
    // switch buttons do; the GUI manager stays on the scan prompt meanwhile.
    void shootQmlPage(const QString& file, const QString& page)
    {
        if (!wanted(file))
            return;
        QQuickWindow* window = m_device.window();
        window->setProperty("currentScreen", page);
        GuiRig::settle(900);
        if (m_device.shownScreen() != page) {
            fail(file, QStringLiteral("the window shows %1, not %2").arg(m_device.shownScreen(), page));
            return;
        }
        save(file);
        window->setProperty("currentScreen", m_device.gui->screen());
    }

    // Pictures the window once it shows the screen the GUI manager was driven to.
    void shoot(const QString& file, const QString& screen, int settleMsec = 600)
    {
        if (!wanted(file))
            return;
        if (!m_device.waitForScreen(screen)) {
            fail(file,
                QStringLiteral("expected screen %1, the window shows %2 (manager: %3)")
                    .arg(screen, m_device.shownScreen(), m_device.gui->screen()));
            return;
        }
        GuiRig::settle(settleMsec);
        if (m_device.gui->screen() != screen) {
            fail(file, QStringLiteral("the screen changed to %1 while settling").arg(m_device.gui->screen()));
            return;
        }
        save(file);
    }

    // The scan prompt animates on its own: wait for the wanted mode and frame.
    void shootScanFrame(const QString& file, int mode, int frame)
    {
        if (!wanted(file))
            return;
        if (!m_device.waitForScreen(QStringLiteral("ScanScreens"))) {
            fail(file, QStringLiteral("the scan prompt is not shown"));
            return;
        }
        QQuickItem* page = m_device.screenItem(QStringLiteral("ScanScreens"));
        if (!page) {
            fail(file, QStringLiteral("no scan prompt page"));
            return;
        }
        QDeadlineTimer deadline(20000);
        while (!(page->property("mode").toInt() == mode && page->property("frame").toInt() == frame)) {
            if (deadline.hasExpired()) {
                fail(file, QStringLiteral("the animation never reached mode %1 frame %2").arg(mode).arg(frame));
                return;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        // grabWindow() renders the scene as it stands now, before the next tick.
        save(file);
    }

    // The settings screen and its page stack, or null (and the picture marked failed)
    // when the settings screen is not shown.
    QQuickItem* shownSettings(const QString& file, QObject** stack)
    {
        QQuickItem* settings = m_device.screenItem(QStringLiteral("Settings"));
        *stack = settings ? settings->property("stack").value<QObject*>() : nullptr;
        if (!*stack || m_device.shownScreen() != QLatin1String("Settings")) {
            fail(file, QStringLiteral("the settings screen is not shown"));
            return nullptr;
        }
        return settings;
    }

    // One page of the settings menu (row 0 to 7), optionally with the validator
    // page's configuration form pushed on top; the stack is back at the menu after.
    void shootSettingsPage(const QString& file, int row, bool configure = false)
    {
        if (!wanted(file))
            return;
        QObject* stack = nullptr;
        QQuickItem* settings = shownSettings(file, &stack);
        if (!settings)
            return;
        QMetaObject::invokeMethod(settings, "openRow", Q_ARG(QVariant, row));
        if (configure) {
            waitUntilStill(stack);
            if (QQuickItem* button = m_device.findItem(QStringLiteral("configureButton")))
                QMetaObject::invokeMethod(button, "clicked");
        }
        waitUntilStill(stack);
        GuiRig::settle(1200);
        save(file);
        QMetaObject::invokeMethod(settings, "reset");
        waitUntilStill(stack);
    }

    // A settings page brought into the state worth showing by `prepare` (which
    // returns false when it could not) before the picture is taken.
    void shootPreparedPage(const QString& file, int row, const std::function<bool()>& prepare)
    {
        if (!wanted(file))
            return;
        QObject* stack = nullptr;
        QQuickItem* settings = shownSettings(file, &stack);
        if (!settings)
            return;
        QMetaObject::invokeMethod(settings, "openRow", Q_ARG(QVariant, row));
        waitUntilStill(stack);
        GuiRig::settle(300);
        if (!prepare()) {
            fail(file, QStringLiteral("the page could not be prepared"));
        } else {
            waitUntilStill(stack);
            GuiRig::settle(1200);
            save(file);
        }
        QMetaObject::invokeMethod(settings, "reset");
        waitUntilStill(stack);
    }

    // Waits, running the event loop, until the condition holds; false on time-out.
    static bool waitFor(const std::function<bool()>& condition, int msec = 10000)
    {
        QDeadlineTimer deadline(msec);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            GuiRig::settle(20);
        }
        return true;
    }

    // The self-test page with its results, then the report pop-up with the QR
    // code of a saved report; closing that pop-up takes the page away again.
    void shootDiagnostics(const QString& file, const QString& reportFile, const QString& reportDir)
    {
        if (!wanted(file) && !wanted(reportFile))
            return;
        QObject* stack = nullptr;
        QQuickItem* settings = shownSettings(file, &stack);
        if (!settings)
            return;
        QMetaObject::invokeMethod(settings, "openRow", Q_ARG(QVariant, 1));
        waitUntilStill(stack);
        // A technician part-way through: the buzzer heard, the LEDs seen, a card
        // read, the speaker silent.
        Diagnostics* diagnostics = m_device.gui->diagnostics();
        diagnostics->setBuzzer(QStringLiteral("OK"));
        diagnostics->setLeds(QStringLiteral("OK"));
        diagnostics->setCardScan(QStringLiteral("OK"));
        diagnostics->setSpeaker(QStringLiteral("ERROR"));
        GuiRig::settle(1500);
        if (wanted(file))
            save(file);

        // The report goes where the device writes it, its working folder.
        const QString here = QDir::currentPath();
        QDir::setCurrent(reportDir);
        diagnostics->saveReport();
        QDir::setCurrent(here);
        QQuickItem* page = m_device.findItem(QStringLiteral("diagnosticsPage"));
        QObject* report = page ? page->findChild<QObject*>(QStringLiteral("reportPopup")) : nullptr;
        QDeadlineTimer deadline(10000);
        while (report && !report->property("opened").toBool() && !deadline.hasExpired())
            GuiRig::settle(50);
        if (!report || !report->property("opened").toBool()) {
            fail(reportFile, QStringLiteral("the report pop-up did not open"));
        } else {
            GuiRig::settle(600);
            if (wanted(reportFile))
                save(reportFile);
            QMetaObject::invokeMethod(report, "close");
        }
        waitUntilStill(stack);
        QMetaObject::invokeMethod(settings, "reset");
        waitUntilStill(stack);
    }

private:
    static void waitUntilStill(QObject* stack)
    {
        QDeadlineTimer deadline(10000);
        do
            GuiRig::settle(50);
        while (stack->property("busy").toBool() && !deadline.hasExpired());
    }

    bool wanted(const QString& file) const { return m_only.isEmpty() || file.contains(m_only); }

    void fail(const QString& file, const QString& why)
    {
        qCritical().noquote().nospace() << "[Screenshots] ERROR: " << file << ": " << why;
        m_failed = true;
    }

    void save(const QString& file)
    {
        const QImage image = ScreenRecorder::grab(m_device.window());
        const QString path = m_folder + QLatin1Char('/') + file + QStringLiteral(".png");
        if (image.isNull() || !image.save(path)) {
            fail(file, QStringLiteral("could not write %1").arg(path));
            return;
        }
        ++m_taken;
        fprintf(stdout, "%s\n", qPrintable(path));
        fflush(stdout);
    }

    GuiRig& m_device;
    QString m_folder;
    QString m_only;
    bool m_failed = false;
    int m_taken = 0;
};

// The network pages, the Ethernet configuration with one mistyped address, the
// update page in the middle of a download and the event log.
void shootNetworkAndUpdate(GuiRig& device, DeviceSimulator& simulator, Photographer& camera)
{
    auto click = [&device](const char* name) {
        QQuickItem* item = device.findItem(QLatin1String(name));
        return item && QMetaObject::invokeMethod(item, "clicked");
    };
    auto ethernetTab = [&device] {
        QQuickItem* tabs = device.findItem(QStringLiteral("networkTabs"));
        return tabs && tabs->setProperty("currentIndex", 1);
    };
    const int networkRow = 5, updateRow = 6, eventLogRow = 7;
    camera.shootPreparedPage(QStringLiteral("settings-network"), networkRow, [] { return true; });
    camera.shootPreparedPage(QStringLiteral("settings-ethernet"), networkRow, ethernetTab);
    camera.shootPreparedPage(QStringLiteral("settings-ethernetconfig"), networkRow, [&] {
        if (!ethernetTab())
            return false;
        GuiRig::settle(400);
        if (!click("configureEthernetButton")
            || !Photographer::waitFor([&device] { return device.findItem(QStringLiteral("modeChoice")); }))
            return false;
        QQuickItem* mode = device.findItem(QStringLiteral("modeChoice"));
        mode->setProperty("currentIndex", 1);
        QMetaObject::invokeMethod(mode, "activated", Q_ARG(int, 1));
        const QList<QPair<const char*, QString>> texts { { "field_address", QStringLiteral("192.168.1.80") },
            { "field_mask", QStringLiteral("255.255.255.0") }, { "field_gateway", QStringLiteral("192.168.1.256") },
            { "field_dns0", QStringLiteral("192.168.1.1") } };
        for (const auto& text : texts) {
            QQuickItem* field = device.findItem(QLatin1String(text.first));
            if (!field)
                return false;
            field->setProperty("text", text.second);
            QMetaObject::invokeMethod(field, "editingFinished");
        }
        return true;
    });
    // Mid-download: "Check" finds the version the simulated server offers, which
    // then arrives at the demo's pace.
    simulator.setStepMillis(500);
    camera.shootPreparedPage(QStringLiteral("settings-update"), updateRow, [&] {
        manager::Update* update = device.gui->update();
        return click("checkButton") && Photographer::waitFor([update] { return update->progressPercent() >= 25; });
    });
    simulator.setStepMillis(50);
    camera.shootPreparedPage(QStringLiteral("settings-eventlog"), eventLogRow, [] { return true; });
}

bool writeDeviceTree(const QString& root)
{
    struct Usb
    {
        const char* port;
        const char* vendor;
        const char* product;
        const char* name;
    };
    const Usb devices[] = { { "1-1", "0451", "2077", "USB 2.0 Hub" }, { "1-1.2", "ffff", "0001", "mPCIe modem" },
        { "1-1.3", "0ab1", "0007", "Card reader" }, { "1-1.5", "0403", "6001", "Serial converter" },
        { "1-1.6", "ffff", "0002", "Barcode reader" }, { "1-1.7", "222a", "0001", "Touch panel" } };
    for (const Usb& usb : devices) {
        const QDir dir(root + QStringLiteral("/sys/bus/usb/devices/") + QLatin1String(usb.port));
        if (!dir.mkpath(QStringLiteral(".")))
            return false;
        const QList<QPair<QString, const char*>> files { { QStringLiteral("idVendor"), usb.vendor },
            { QStringLiteral("idProduct"), usb.product }, { QStringLiteral("product"), usb.name } };
        for (const auto& entry : files) {
            QFile file(dir.filePath(entry.first));
            if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(entry.second) + '\n') < 0)
                return false;
        }
    }
    return true;
}

// One language: a new unit without a serial number is switched on, gets its
// serial number, and then meets every situation a passenger can see.
bool photograph(const QString& locale, const QString& outDir, const QString& only, const QString& reportDir, int& taken)
{
    const QString folder = outDir + QLatin1Char('/') + locale;
    if (!QDir().mkpath(folder)) {
        qCritical().noquote().nospace() << "[Screenshots] ERROR: cannot create " << folder;
        return false;
    }
    GuiRig device(GuiRig::unit(locale));
    // The simulated services, on a connection wired to the panel's; they go before
    // the panel they talk to.
    manager::MqttClient servicesMqtt;
    servicesMqtt.setTransportFactory(device.peerTransport());
    std::unique_ptr<DeviceSimulator> services;
    if (!device.load()) {
        qCritical().noquote().nospace() << "[Screenshots] ERROR: main.qml did not load";
        return false;
    }
    Photographer camera(device, folder, only);
    // The first frames of a new window come late under Xvfb.
    GuiRig::settle(1500);
    camera.shoot(QStringLiteral("busy"), QStringLiteral("Busy"));

    device.setIgnition(true);
    camera.shoot(QStringLiteral("initpage"), QStringLiteral("InitPage"));

    device.setValidator(QStringLiteral("init"));
    device.gui->saveDeviceIdRequest(QStringLiteral("K12345678"));
    camera.shoot(QStringLiteral("busy-please-wait"), QStringLiteral("Busy"));

    device.setValidator(QStringLiteral("online"));
    camera.shootScanFrame(QStringLiteral("scanscreens-card"), 0, 3);
    camera.shootScanFrame(QStringLiteral("scanscreens-ticket"), 1, 4);

    camera.shootQmlPage(QStringLiteral("scancard"), QStringLiteral("ScanCard"));
    camera.shootQmlPage(QStringLiteral("scanbarcode"), QStringLiteral("ScanBarcode"));

    const QList<QList<SampleValidation>> groups { samples::valid(locale), samples::alreadyValid(locale),
        samples::refused(locale) };
    for (const auto& group : groups) {
        for (const SampleValidation& ticket : group) {
            device.scan(ticket);
            camera.shoot(ticket.name, ticket.screen);
        }
    }

    device.cardRetry();
    camera.shoot(QStringLiteral("retry"), QStringLiteral("Retry"));

    device.setValidator(QStringLiteral("out-of-service"));
    camera.shoot(QStringLiteral("outofservice"), QStringLiteral("OutOfService"));

    device.setValidator(QStringLiteral("no-rfid"));
    camera.shoot(QStringLiteral("outoforder"), QStringLiteral("OutOfOrder"));

    device.gui->setShowErrorDesc(true);
    device.setValidator(QStringLiteral("offline"));
    camera.shoot(QStringLiteral("outoforder-described"), QStringLiteral("OutOfOrder"));
    device.gui->setShowErrorDesc(false);

    device.setValidator(QStringLiteral("online"));
    device.setIgnition(false);
    camera.shoot(QStringLiteral("screensaver"), QStringLiteral("ScreenSaver"));
    device.setIgnition(true);

    device.gui->setMaintenanceScreen();
    camera.shoot(QStringLiteral("login"), QStringLiteral("Login"));

    // The technician's pages, with the simulated services answering their requests.
    device.gui->settingsLoginRequest(device.config->get(QStringLiteral("gui/settingsPin")).toString());
    services = std::make_unique<DeviceSimulator>(servicesMqtt);
    services->setStepMillis(50);
    servicesMqtt.connect();
    camera.shoot(QStringLiteral("settings"), QStringLiteral("Settings"), 1200);
    camera.shootSettingsPage(QStringLiteral("settings-validator"), 0);
    camera.shootSettingsPage(QStringLiteral("settings-validatorconfig"), 0, true);
    camera.shootSettingsPage(QStringLiteral("settings-region"), 2);
    camera.shootSettingsPage(QStringLiteral("settings-audio"), 3);
    camera.shootSettingsPage(QStringLiteral("settings-display"), 4);
    camera.shootDiagnostics(
        QStringLiteral("settings-diagnostics"), QStringLiteral("settings-diagnostics-report"), reportDir);
    shootNetworkAndUpdate(device, *services, camera);
    device.gui->settingsLogoutRequest();

    taken += camera.taken();
    return !camera.failed();
}

} // namespace

int main(int argc, char* argv[])
{
    // As the program does: the keyboard's input method is read when the application starts.
    useInputMethod(chooseInputMethod(inputMethodPluginDirs()));
    useSceneGraphBackend(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ticora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("vexa"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pictures of every passenger screen in each language."));
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Folder for the pictures."),
        QStringLiteral("dir"), QStringLiteral("screenshots"));
    const QCommandLineOption langOption(QStringLiteral("lang"), QStringLiteral("Comma-separated locales."),
        QStringLiteral("locales"), QStringLiteral("en_US,el_GR"));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
        QStringLiteral("Only the pictures whose name contains this text."), QStringLiteral("text"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Show the program's log."));
    parser.addOptions({ outOption, langOption, onlyOption, verboseOption });
    parser.process(app);
    g_verbose = parser.isSet(verboseOption);

    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));

    // The program's logger installs its handler when first used; ours goes in front of it.
    manager::Logger::instance();
    g_previousHandler = qInstallMessageHandler(collectWarnings);

    // A unit with most of its USB devices in place, one of the wrong kind and one
    // missing, and no SD card: the self-test shows each kind of result.
    QTemporaryDir device;
    if (!device.isValid() || !writeDeviceTree(device.path())) {
        qCritical().noquote() << "[Screenshots] ERROR: cannot write the device tree for the self-test";
        return 1;
    }
    qputenv("TICORA_DEVICE_ROOT", QFile::encodeName(device.path()));

    bool ok = true;
    int taken = 0;
    for (const QString& locale : parser.value(langOption).split(QLatin1Char(','), Qt::SkipEmptyParts))
        ok = photograph(locale.trimmed(), parser.value(outOption), parser.value(onlyOption), device.path(), taken)
            && ok;
    fprintf(stderr, "[Screenshots] %d pictures, %d QML warnings\n", taken, int(g_qmlWarnings.size()));
    // The build renders each icon at the sizes the screens draw it; any other size
    // (a layout that changed, or a row caught mid-layout) is named here.
    for (const QString& icon : PictureProvider::unrendered())
        fprintf(stderr, "[Screenshots] icon not rendered at build time: %s\n", qPrintable(icon));
    return ok && g_qmlWarnings.isEmpty() ? 0 : 1;
}
