// Loads main.qml with the real GUI manager, walks every screen in English and
// Greek the way the services would drive it, and fails on any QML warning.

#include "Config.h"
#include "GUIManager.h"
#include "GuiRig.h"
#include "InputMethod.h"
#include "Logger.h"
#include "PictureProvider.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

namespace {

// Warnings and errors that come from the QML: the engine's own reports (binding
// and type errors, missing files, failed components) name a qrc:/ location or
// say "QML"; the application's own "[QML] " log lines are deliberate and pass.
class QmlWarnings
{
public:
    static QmlWarnings& instance()
    {
        static QmlWarnings warnings;
        return warnings;
    }
    void install() { m_previous = qInstallMessageHandler(&QmlWarnings::handler); }
    QStringList take()
    {
        QStringList out;
        out.swap(m_lines);
        return out;
    }

private:
    static bool fromQml(const QMessageLogContext& context, const QString& text)
    {
        if (text.startsWith(QLatin1String("[QML] ")))
            return false;
        if (text.contains(QLatin1String("qrc:/qml")))
            return true;
        const char* category = context.category ? context.category : "default";
        const bool qmlCategory
            = qstrcmp(category, "qml") == 0 || qstrcmp(category, "js") == 0 || qstrcmp(category, "default") == 0;
        return qmlCategory && (text.contains(QLatin1String("qrc:")) || text.contains(QLatin1String("QML")));
    }

    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        QmlWarnings& self = instance();
        const bool serious = type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
        if (serious && fromQml(context, text))
            self.m_lines << QStringLiteral("%1 [%2]").arg(text, QLatin1String(context.category));
        if (self.m_previous)
            self.m_previous(type, context, text);
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};

// The program's log is off in the scripted device, so the offending lines go
// into the failure message itself.
QString report(const QStringList& lines)
{
    // A broken binding repeats itself on every screen; each line once, with its count.
    QStringList distinct;
    QHash<QString, int> counts;
    for (const QString& line : lines) {
        if (counts[line]++ == 0)
            distinct << line;
    }
    QString text = QStringLiteral("%1 QML warning(s):").arg(lines.size());
    for (const QString& line : qAsConst(distinct))
        text += QStringLiteral("\n    %1 (x%2)").arg(line).arg(counts.value(line));
    return text;
}

} // namespace

class tst_QmlWalk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startUp();
    void walkEnglish();
    void walkGreek();
    void switchLanguageOnEveryScreen();
    void cleanup();
    void cleanupTestCase();

private:
    // Waits for the window to show the screen and lets it run a moment, so its
    // timers, animations and late bindings have their say.
    void visit(const QString& screen);
    void walk();
    void walkScanPages();
    void walkTickets();
    void walkFaults();
    void walkTechnician();
    void walkSettingsPages();
    void walkDiagnostics();
    void walkPopupAndBusy();

    std::unique_ptr<GuiRig> m_device;
};

void tst_QmlWalk::initTestCase()
{
    // The program's logger puts its handler in first; ours sits in front of it.
    manager::Logger::instance();
    QmlWarnings::instance().install();
    // A new unit: no serial number yet.
    m_device = std::make_unique<GuiRig>(GuiRig::unit(QStringLiteral("en_IE")));
    QVERIFY(m_device->load());
    QVERIFY(m_device->window()->isVisible());
    GuiRig::settle(250);
    const QStringList lines = QmlWarnings::instance().take();
    QVERIFY2(lines.isEmpty(), qPrintable(QStringLiteral("while loading: ") + report(lines)));
}

void tst_QmlWalk::cleanup()
{
    const QStringList lines = QmlWarnings::instance().take();
    QVERIFY2(lines.isEmpty(), qPrintable(report(lines)));
}

void tst_QmlWalk::cleanupTestCase()
{
    m_device.reset();
    const QStringList lines = QmlWarnings::instance().take();
    QVERIFY2(lines.isEmpty(), qPrintable(QStringLiteral("at teardown: ") + report(lines)));
    // Every icon the screens drew came rendered from the build: one drawn from its
    // SVG loads the SVG renderer and the widget library for the whole run.
    const QStringList fromSvg = PictureProvider::drawnFromSvg();
    QVERIFY2(fromSvg.isEmpty(), qPrintable(fromSvg.join(QStringLiteral(", "))));
}

void tst_QmlWalk::visit(const QString& screen)
{
    QVERIFY2(m_device->waitForScreen(screen, 15000),
        qPrintable(QStringLiteral("expected %1, the window shows %2 (manager: %3)")
                       .arg(screen, m_device->shownScreen(), m_device->gui->screen())));
    QQuickItem* page = m_device->screenItem(screen);
    QVERIFY2(page, qPrintable(screen + QStringLiteral(" has no page")));
    QTRY_VERIFY_WITH_TIMEOUT(page->isVisible(), 10000);
    GuiRig::settle(250);
}

void tst_QmlWalk::startUp()
{
    GUIManager& gui = *m_device->gui;
    visit(QStringLiteral("Busy"));
    // Ignition on with no serial number: the serial-number page.
    m_device->setIgnition(true);
    visit(QStringLiteral("InitPage"));

    QQuickItem* field = m_device->findItem(QStringLiteral("serialField"));
    QVERIFY(field);
    field->setProperty("text", QStringLiteral("K1234"));
    GuiRig::settle(100);
    field->setProperty("text", QStringLiteral("K12345678"));
    GuiRig::settle(100);

    m_device->setValidator(QStringLiteral("init"));
    QCOMPARE(gui.screen(), QStringLiteral("InitPage"));
    gui.saveDeviceIdRequest(QStringLiteral("K12345678"));
    visit(QStringLiteral("Busy"));
    QCOMPARE(gui.message(), gui.tr("Please Wait"));
}

void tst_QmlWalk::walkScanPages()
{
    m_device->setValidator(QStringLiteral("online"));
    visit(QStringLiteral("ScanScreens"));
    // With the default switch period both animations run through every frame.
    QQuickItem* scan = m_device->screenItem(QStringLiteral("ScanScreens"));
    QTRY_COMPARE_WITH_TIMEOUT(scan->property("mode").toInt(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(scan->property("mode").toInt(), 0, 15000);

    // The single-animation pages switch between themselves with their buttons.
    QQuickWindow* window = m_device->window();
    window->setProperty("currentScreen", QStringLiteral("ScanCard"));
    GuiRig::settle(300);
    for (const QString& page : { QStringLiteral("ScanCard"), QStringLiteral("ScanBarcode") }) {
        QCOMPARE(m_device->shownScreen(), page);
        QQuickItem* pageItem = m_device->screenItem(page);
        QVERIFY(pageItem);
        QQuickItem* button = nullptr;
        for (QQuickItem* child : pageItem->childItems()) {
            if (child->objectName() == QLatin1String("scanSwitchButton"))
                button = child;
        }
        QVERIFY(button);
        QVERIFY(QMetaObject::invokeMethod(button, "clicked"));
        GuiRig::settle(300);
    }
    QCOMPARE(m_device->shownScreen(), QStringLiteral("ScanCard"));
    window->setProperty("currentScreen", m_device->gui->screen());
    visit(QStringLiteral("ScanScreens"));
}

void tst_QmlWalk::walkTickets()
{
    const QString locale = m_device->gui->language();
    const QList<QList<SampleValidation>> groups { samples::valid(locale), samples::alreadyValid(locale),
        samples::refused(locale) };
    for (const auto& group : groups) {
        for (const SampleValidation& ticket : group) {
            m_device->scan(ticket);
            visit(ticket.screen);
            QCOMPARE(m_device->gui->transactionMap().value(QStringLiteral("type")).toInt(),
                ticket.transaction.value(QStringLiteral("type")).toInt());
        }
    }
    m_device->cardRetry();
    visit(QStringLiteral("Retry"));
}

void tst_QmlWalk::walkFaults()
{
    m_device->setValidator(QStringLiteral("degraded"));
    visit(QStringLiteral("ScanScreens"));
    m_device->setValidator(QStringLiteral("out-of-service"));
    visit(QStringLiteral("OutOfService"));
    m_device->setValidator(QStringLiteral("no-rfid"));
    visit(QStringLiteral("OutOfOrder"));
    m_device->gui->setShowErrorDesc(true);
    m_device->setValidator(QStringLiteral("offline"));
    visit(QStringLiteral("OutOfOrder"));
    QVERIFY(m_device->gui->message().contains(QLatin1Char('\n')));
    m_device->gui->setShowErrorDesc(false);
    m_device->setValidator(QStringLiteral("init"));
    visit(QStringLiteral("Busy"));

    m_device->setValidator(QStringLiteral("online"));
    visit(QStringLiteral("ScanScreens"));
    m_device->setIgnition(false);
    visit(QStringLiteral("ScreenSaver"));
    m_device->setIgnition(true);
    visit(QStringLiteral("ScanScreens"));
}

void tst_QmlWalk::walkTechnician()
{
    GUIManager& gui = *m_device->gui;
    gui.setMaintenanceScreen();
    visit(QStringLiteral("Login"));
    QSignalSpy denied(&gui, &GUIManager::settingsAccessDenied);
    gui.settingsLoginRequest(QStringLiteral("0000"));
    QCOMPARE(denied.count(), 1);
    GuiRig::settle(400); // the PIN box shakes
    gui.settingsLoginRequest(m_device->config->get(QStringLiteral("gui/settingsPin")).toString());
    // The login page itself moves on to the settings.
    visit(QStringLiteral("Settings"));
    walkSettingsPages();
    gui.settingsLogoutRequest();
    visit(QStringLiteral("ScanScreens"));
}

// Every menu page opens, lives a moment and closes again; the validator and
// network pages also open their configuration forms.
void tst_QmlWalk::walkSettingsPages()
{
    QQuickItem* settings = m_device->screenItem(QStringLiteral("Settings"));
    QVERIFY(settings);
    QObject* stack = settings->property("stack").value<QObject*>();
    QVERIFY(stack);
    const int rows = 8;
    for (int row = 0; row < rows; ++row) {
        QVERIFY(QMetaObject::invokeMethod(settings, "openRow", Q_ARG(QVariant, row)));
        QTRY_COMPARE_WITH_TIMEOUT(stack->property("busy").toBool(), false, 10000);
        QCOMPARE(stack->property("depth").toInt(), 2);
        GuiRig::settle(300);
        if (row == 1)
            walkDiagnostics();
        if (row == 4) {
            // The theme switch restyles the whole window, and back.
            QQuickItem* theme = m_device->findItem(QStringLiteral("darkThemeSwitch"));
            QVERIFY(theme);
            for (int i = 0; i < 2; ++i) {
                QVERIFY(QMetaObject::invokeMethod(theme, "toggle"));
                QVERIFY(QMetaObject::invokeMethod(theme, "toggled"));
                GuiRig::settle(200);
            }
            QVERIFY(theme->property("checked").toBool());
        }
        if (row == 0) {
            QQuickItem* configure = m_device->findItem(QStringLiteral("configureButton"));
            QVERIFY(configure);
            QVERIFY(QMetaObject::invokeMethod(configure, "clicked"));
            QTRY_COMPARE_WITH_TIMEOUT(stack->property("depth").toInt(), 3, 10000);
            GuiRig::settle(300);
            QVERIFY(QMetaObject::invokeMethod(settings, "back"));
            QTRY_COMPARE_WITH_TIMEOUT(stack->property("busy").toBool(), false, 10000);
        }
        if (row == 5) {
            // The Ethernet tab and its configuration page.
            QQuickItem* tabs = m_device->findItem(QStringLiteral("networkTabs"));
            QVERIFY(tabs);
            tabs->setProperty("currentIndex", 1);
            GuiRig::settle(300);
            QQuickItem* configure = m_device->findItem(QStringLiteral("configureEthernetButton"));
            QVERIFY(configure);
            QVERIFY(QMetaObject::invokeMethod(configure, "clicked"));
            QTRY_COMPARE_WITH_TIMEOUT(stack->property("depth").toInt(), 3, 10000);
            GuiRig::settle(300);
            QVERIFY(QMetaObject::invokeMethod(settings, "back"));
            QTRY_COMPARE_WITH_TIMEOUT(stack->property("busy").toBool(), false, 10000);
        }
        QVERIFY(QMetaObject::invokeMethod(settings, "back"));
        QTRY_COMPARE_WITH_TIMEOUT(stack->property("depth").toInt(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stack->property("busy").toBool(), false, 10000);
    }
}

// The self-test page: each pop-up opens and closes.
void tst_QmlWalk::walkDiagnostics()
{
    QQuickItem* page = m_device->findItem(QStringLiteral("diagnosticsPage"));
    QVERIFY(page);
    for (const char* name : { "buzzerDialog", "ledsDialog", "speakerDialog", "sensorDialog", "rgbDialog", "cardPopup",
             "barcodePopup", "serialPopup", "reportPopup" }) {
        QObject* popup = page->findChild<QObject*>(QLatin1String(name));
        QVERIFY2(popup, name);
        QVERIFY(QMetaObject::invokeMethod(popup, "open"));
        QTRY_VERIFY_WITH_TIMEOUT(popup->property("opened").toBool(), 10000);
        GuiRig::settle(150);
        QVERIFY(QMetaObject::invokeMethod(popup, "close"));
        QTRY_VERIFY_WITH_TIMEOUT(!popup->property("visible").toBool(), 10000);
    }
    // The colour test: a full page over the settings, then its question.
    QObject* stack = m_device->screenItem(QStringLiteral("Settings"))->property("stack").value<QObject*>();
    QVERIFY(QMetaObject::invokeMethod(page, "startColourTest"));
    QTRY_VERIFY_WITH_TIMEOUT(stack->property("depth").toInt() == 3 && !stack->property("busy").toBool(), 10000);
    QVERIFY(QMetaObject::invokeMethod(page, "endColourTest"));
    QObject* question = page->findChild<QObject*>(QStringLiteral("rgbDialog"));
    QTRY_VERIFY_WITH_TIMEOUT(question->property("opened").toBool(), 10000);
    QVERIFY(QMetaObject::invokeMethod(question, "close"));
    QTRY_VERIFY_WITH_TIMEOUT(!question->property("visible").toBool(), 10000);
}

void tst_QmlWalk::walkPopupAndBusy()
{
    GUIManager& gui = *m_device->gui;
    emit gui.errorOccured(QStringLiteral("Could not write the serial number file"));
    QObject* popup = m_device->window()->findChild<QObject*>(QStringLiteral("errorPopup"));
    QVERIFY(popup);
    QTRY_VERIFY_WITH_TIMEOUT(popup->property("opened").toBool(), 10000);
    QVERIFY(QMetaObject::invokeMethod(popup, "close"));
    QTRY_VERIFY_WITH_TIMEOUT(!popup->property("visible").toBool(), 10000);

    gui.rebootRequest();
    visit(QStringLiteral("Busy"));
    gui.shutdownRequest();
    visit(QStringLiteral("Busy"));
    gui.setIdleScreen();
    visit(QStringLiteral("ScanScreens"));

    // The serial-number page again, as after a lost id file.
    gui.setScreen(QStringLiteral("InitPage"));
    visit(QStringLiteral("InitPage"));
    gui.setIdleScreen();
    visit(QStringLiteral("ScanScreens"));
}

void tst_QmlWalk::walk()
{
    walkScanPages();
    if (QTest::currentTestFailed())
        return;
    walkTickets();
    if (QTest::currentTestFailed())
        return;
    walkFaults();
    if (QTest::currentTestFailed())
        return;
    walkTechnician();
    if (QTest::currentTestFailed())
        return;
    walkPopupAndBusy();
}

void tst_QmlWalk::walkEnglish()
{
    QCOMPARE(m_device->gui->language(), QStringLiteral("en_IE"));
    walk();
}

void tst_QmlWalk::walkGreek()
{
    m_device->gui->setLanguage(QStringLiteral("el_GR"));
    QCOMPARE(m_device->gui->language(), QStringLiteral("el_GR"));
    walk();
}

// Every page is built once and stays; a language switch re-evaluates all of
// their bindings, whichever screen is up.
void tst_QmlWalk::switchLanguageOnEveryScreen()
{
    GUIManager& gui = *m_device->gui;
    const QString locale = gui.language();
    const QList<SampleValidation> tickets
        = samples::valid(locale) + samples::alreadyValid(locale).mid(0, 4) + samples::refused(locale).mid(0, 1);
    QStringList languages { QStringLiteral("en_IE"), QStringLiteral("el_GR") };
    int turn = 0;
    for (const SampleValidation& ticket : tickets) {
        m_device->scan(ticket);
        visit(ticket.screen);
        gui.setLanguage(languages.at(turn++ % 2));
        GuiRig::settle(100);
    }
    for (const QString& screen :
        { QStringLiteral("InitPage"), QStringLiteral("Busy"), QStringLiteral("Retry"), QStringLiteral("OutOfOrder"),
            QStringLiteral("OutOfService"), QStringLiteral("ScreenSaver"), QStringLiteral("Login") }) {
        gui.setScreen(screen);
        visit(screen);
        gui.setLanguage(languages.at(turn++ % 2));
        GuiRig::settle(100);
    }
    gui.setIdleScreen();
    visit(QStringLiteral("ScanScreens"));
}

int main(int argc, char* argv[])
{
    // As the program starts: the input method is read when the application is created.
    useInputMethod(chooseInputMethod(inputMethodPluginDirs()));
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));
    tst_QmlWalk test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qmlwalk.moc"
