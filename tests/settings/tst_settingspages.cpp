// The technician's pages with the real GUI manager and QML, the simulated services
// answering in the same process: what the pages send and what they show back.

#include "Config.h"
#include "DeviceSimulator.h"
#include "GUIManager.h"
#include "GuiRig.h"
#include "InputMethod.h"
#include "Logger.h"
#include "Validator.h"
#include "ValidatorConfig.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

namespace {

const int kWait = 15000;

} // namespace

class tst_SettingsPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wrongPinStaysOnLoginRightPinOpensSettings();
    void rebootAnsweredNoSendsNothing();
    void saveIsEnabledOnlyWhileSomethingDiffers();
    void greekLocaleTranslatesPassengerTextsAtOnce();
    void displayPageMonitorsOnlyWhileOpen();
    void leavingDuringBarcodeScanKeepsTheReaderOn();

private:
    QQuickItem* settingsPage() const { return m_device->screenItem(QStringLiteral("Settings")); }
    QObject* stack() const { return settingsPage()->property("stack").value<QObject*>(); }
    QQuickItem* item(const QString& name) const { return GuiRig::findIn(m_device->window()->contentItem(), name); }
    // Pop-ups live in the window's overlay, beside the content.
    QQuickItem* popupItem(const char* popupName, const QString& name) const
    {
        QObject* popup = settingsPage()->findChild<QObject*>(QLatin1String(popupName));
        return popup ? GuiRig::findIn(popup->property("contentItem").value<QQuickItem*>(), name) : nullptr;
    }
    int published(const QString& topic) const { return m_device->transport->publishedTopics().count(topic); }
    void openRow(int row);
    void back();
    void showSettings();

    std::unique_ptr<GuiRig> m_device;
    // The simulated services on a connection wired to the panel's; they go before the
    // panel they talk to.
    std::unique_ptr<manager::MqttClient> m_servicesMqtt;
    std::unique_ptr<DeviceSimulator> m_services;

public:
    ~tst_SettingsPages() override
    {
        m_services.reset();
        m_servicesMqtt.reset();
    }
};

void tst_SettingsPages::initTestCase()
{
    m_device = std::make_unique<GuiRig>(GuiRig::unit(QStringLiteral("en_IE"), QStringLiteral("K12345678")));
    QVERIFY(m_device->load());
    m_servicesMqtt = std::make_unique<manager::MqttClient>();
    m_servicesMqtt->setTransportFactory(m_device->peerTransport());
    m_services = std::make_unique<DeviceSimulator>(*m_servicesMqtt);
    m_services->setStepMillis(50);
    m_servicesMqtt->connect();
    // The simulated validator comes up online.
    QVERIFY(m_device->waitForScreen(QStringLiteral("ScanScreens"), kWait));
}

void tst_SettingsPages::openRow(int row)
{
    QVERIFY(QMetaObject::invokeMethod(settingsPage(), "openRow", Q_ARG(QVariant, row)));
    QTRY_COMPARE_WITH_TIMEOUT(stack()->property("busy").toBool(), false, kWait);
}

void tst_SettingsPages::back()
{
    QVERIFY(QMetaObject::invokeMethod(settingsPage(), "back"));
    QTRY_COMPARE_WITH_TIMEOUT(stack()->property("busy").toBool(), false, kWait);
}

void tst_SettingsPages::showSettings()
{
    m_device->gui->setMaintenanceScreen();
    QVERIFY(m_device->waitForScreen(QStringLiteral("Settings"), kWait));
}

void tst_SettingsPages::wrongPinStaysOnLoginRightPinOpensSettings()
{
    GUIManager& gui = *m_device->gui;
    gui.setMaintenanceScreen();
    QVERIFY(m_device->waitForScreen(QStringLiteral("Login"), kWait));
    QQuickItem* login = m_device->screenItem(QStringLiteral("Login"));
    QQuickItem* button = item(QStringLiteral("loginButton"));
    QVERIFY(button);

    login->setProperty("pin", QStringLiteral("0000"));
    QVERIFY(QMetaObject::invokeMethod(button, "clicked"));
    QCOMPARE(login->property("pin").toString(), QString());
    QCOMPARE(gui.screen(), QStringLiteral("Login"));

    login->setProperty("pin", m_device->config->get(QStringLiteral("gui/settingsPin")).toString());
    QVERIFY(QMetaObject::invokeMethod(button, "clicked"));
    QVERIFY(m_device->waitForScreen(QStringLiteral("Settings"), kWait));
}

void tst_SettingsPages::rebootAnsweredNoSendsNothing()
{
    const QString reboot = QStringLiteral("vexa/inspector/power/reboot/request/1");
    QVERIFY(QMetaObject::invokeMethod(settingsPage(), "chooseHeaderItem", Q_ARG(QVariant, QStringLiteral("Reboot"))));
    QObject* confirm = settingsPage()->findChild<QObject*>(QStringLiteral("confirmPopup"));
    QTRY_VERIFY_WITH_TIMEOUT(confirm->property("opened").toBool(), kWait);
    QVERIFY(QMetaObject::invokeMethod(popupItem("confirmPopup", QStringLiteral("popupNo")), "clicked"));
    QTRY_VERIFY_WITH_TIMEOUT(!confirm->property("visible").toBool(), kWait);
    // The inspector sends its power requests after a delay of its own.
    GuiRig::settle(2500);
    QCOMPARE(published(reboot), 0);
    QCOMPARE(m_device->gui->screen(), QStringLiteral("Settings"));

    // The same way answered "Yes" does reboot.
    QVERIFY(QMetaObject::invokeMethod(settingsPage(), "chooseHeaderItem", Q_ARG(QVariant, QStringLiteral("Reboot"))));
    QTRY_VERIFY_WITH_TIMEOUT(confirm->property("opened").toBool(), kWait);
    QVERIFY(QMetaObject::invokeMethod(popupItem("confirmPopup", QStringLiteral("popupYes")), "clicked"));
    QTRY_COMPARE_WITH_TIMEOUT(published(reboot), 1, kWait);
    showSettings();
}

void tst_SettingsPages::saveIsEnabledOnlyWhileSomethingDiffers()
{
    openRow(0);
    QVERIFY(QMetaObject::invokeMethod(item(QStringLiteral("configureButton")), "clicked"));
    QTRY_COMPARE_WITH_TIMEOUT(stack()->property("depth").toInt(), 3, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(stack()->property("busy").toBool(), false, kWait);
    QQuickItem* save = item(QStringLiteral("configSaveButton"));
    QQuickItem* passback = item(QStringLiteral("passbackBox"));
    QQuickItem* qr = item(QStringLiteral("qrPassbackSwitch"));
    QVERIFY(save && passback && qr);
    ValidatorConfig* config = m_device->gui->findChild<manager::Validator*>()->config();
    // The simulated service's stored values are on the form.
    QTRY_COMPARE_WITH_TIMEOUT(passback->property("value").toInt(), 120, kWait);
    QVERIFY(!save->isEnabled());

    passback->setProperty("value", 121);
    QVERIFY(save->isEnabled());
    passback->setProperty("value", 120);
    QVERIFY(!save->isEnabled());
    qr->setProperty("checked", !qr->property("checked").toBool());
    QVERIFY(save->isEnabled());
    qr->setProperty("checked", config->passbackQrEnabled());
    QVERIFY(!save->isEnabled());

    // Typed, not yet committed by Enter or a change of focus: Save sees it and
    // the service gets it.
    auto* text = passback->property("contentItem").value<QQuickItem*>();
    QVERIFY(text);
    text->forceActiveFocus();
    QVERIFY(QMetaObject::invokeMethod(text, "selectAll"));
    for (char key : {'3', '0', '0'})
        QTest::keyClick(m_device->window(), key);
    QCOMPARE(text->property("text").toString(), QStringLiteral("300"));
    QCOMPARE(passback->property("value").toInt(), 120);
    QVERIFY(save->isEnabled());
    QVERIFY(QMetaObject::invokeMethod(save, "clicked"));
    QTRY_COMPARE_WITH_TIMEOUT(config->passbackSecs(), 300, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(stack()->property("depth").toInt(), 2, kWait);
    back();
}

void tst_SettingsPages::greekLocaleTranslatesPassengerTextsAtOnce()
{
    GUIManager& gui = *m_device->gui;
    openRow(2);
    QQuickItem* locale = item(QStringLiteral("localeBox"));
    QVERIFY(locale);
    const int greek = locale->property("model").toStringList().indexOf(QStringLiteral("el_GR"));
    QVERIFY(greek >= 0);
    locale->setProperty("currentIndex", greek);
    QVERIFY(QMetaObject::invokeMethod(locale, "activated", Q_ARG(int, greek)));
    QCOMPARE(gui.language(), QStringLiteral("el_GR"));

    QQuickItem* hint = GuiRig::findIn(m_device->screenItem(QStringLiteral("ScanScreens")), QStringLiteral("scanHint"));
    QVERIFY(hint);
    QVERIFY(hint->property("text").toString().contains(QStringLiteral("ΣΑΡΩΣΤΕ")));
    QCOMPARE(item(QStringLiteral("ntpSyncButton"))->property("text").toString(), QStringLiteral("NTP SYNC"));
    QCOMPARE(settingsPage()->property("title").toString(), QStringLiteral("Region"));

    gui.setLanguage(QStringLiteral("en_IE"));
    QVERIFY(!hint->property("text").toString().contains(QStringLiteral("ΣΑΡΩΣΤΕ")));
    back();
}

void tst_SettingsPages::displayPageMonitorsOnlyWhileOpen()
{
    const QString poll = QStringLiteral("vexa/board/display/get");
    const int before = published(poll);
    openRow(4);
    QTRY_VERIFY_WITH_TIMEOUT(published(poll) >= before + 3, kWait);
    // The simulated light sensor's readings reach the page.
    QQuickItem* sensor = item(QStringLiteral("ambientLight"));
    QVERIFY(sensor);
    QTRY_VERIFY_WITH_TIMEOUT(sensor->property("text").toInt() > 0, kWait);

    back();
    QTRY_COMPARE_WITH_TIMEOUT(stack()->property("depth").toInt(), 1, kWait);
    const int after = published(poll);
    GuiRig::settle(2500);
    QCOMPARE(published(poll), after);
}

// Log-out while the configuration pop-up reads a maintenance barcode: the idle rule
// switches the barcode reader on for passengers, and closing the pop-up on the way
// out must not switch it off again.
void tst_SettingsPages::leavingDuringBarcodeScanKeepsTheReaderOn()
{
    const QString on = QStringLiteral("vexa/barcode/enable");
    const QString off = QStringLiteral("vexa/barcode/disable");
    QObject* popup = settingsPage()->findChild<QObject*>(QStringLiteral("configPopup"));
    QVERIFY(popup);
    QVERIFY(QMetaObject::invokeMethod(
        settingsPage(), "chooseHeaderItem", Q_ARG(QVariant, QStringLiteral("Scan Config QR"))));
    QTRY_VERIFY_WITH_TIMEOUT(popup->property("opened").toBool(), kWait);
    QVERIFY(m_device->transport->publishedTopics().lastIndexOf(on)
        > m_device->transport->publishedTopics().lastIndexOf(off));

    // A maintenance barcode read meanwhile is applied and listed in the pop-up.
    m_services->execute(QStringLiteral("maint validator mqtt://validator@127.0.0.1:1884"));
    QTRY_VERIFY_WITH_TIMEOUT(
        popup->property("text").toString().startsWith(QStringLiteral("CONFIGURATION APPLIED\nOBC : ")), kWait);

    m_device->gui->settingsLogoutRequest();
    QVERIFY(m_device->waitForScreen(QStringLiteral("ScanScreens"), kWait));
    QTRY_VERIFY_WITH_TIMEOUT(!popup->property("visible").toBool(), kWait);
    GuiRig::settle(300);
    const QStringList topics = m_device->transport->publishedTopics();
    QVERIFY(topics.lastIndexOf(on) > topics.lastIndexOf(off));
}

int main(int argc, char* argv[])
{
    useInputMethod(chooseInputMethod(inputMethodPluginDirs()));
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TICORA_VERSION));
    manager::Logger::instance();
    tst_SettingsPages test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingspages.moc"
