// Shows main.qml with a stand-in GUI manager and writes one picture per
// passenger screen (and per ticket type on the outcome screens).
//
//   qmlharness [--out DIR] [--lang el_GR|en_IE] [--only NAME]
//
// Run it under Xvfb (DISPLAY set): the software renderer draws no shader effects,
// so recoloured icons would be missing.

#include "MockManager.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>

namespace {

struct Shot
{
    QString file;
    QString screen;
    QVariantMap transaction;
    QString message;
    QString windowScreen; // set directly on the window (scan pages)
};

QVariantMap details(std::initializer_list<std::pair<const char*, QVariant>> values)
{
    QVariantMap map{{QStringLiteral("fromStopGroupName"), QString()},
                    {QStringLiteral("toStopGroupName"), QString()},
                    {QStringLiteral("deducted"), 0.0},
                    {QStringLiteral("remaining"), 0.0},
                    {QStringLiteral("activationTimestamp"), QDateTime()},
                    {QStringLiteral("expires"), QDateTime()},
                    {QStringLiteral("transferRemainingMin"), 0}};
    for (const auto& v : values)
        map.insert(QString::fromLatin1(v.first), v.second);
    return map;
}

QVariantMap transaction(bool valid, int type, const QString& product, const QVariantMap& det,
                        const QString& reason = QString())
{
    return {{QStringLiteral("valid"), valid},
            {QStringLiteral("type"), type},
            {QStringLiteral("fareProduct"), product},
            {QStringLiteral("denyReason"), reason},
            {QStringLiteral("details"), det}};
}

QList<Shot> shots()
{
    const QDateTime expires = QDateTime::currentDateTime().addDays(23);
    QList<Shot> list;
    list << Shot{QStringLiteral("initpage"), QStringLiteral("InitPage"), {}, {}, {}};
    list << Shot{QStringLiteral("busy"), QStringLiteral("Busy"), {}, QStringLiteral("Initializing"), {}};
    list << Shot{QStringLiteral("scanscreens"), QStringLiteral("ScanScreens"), {}, {}, {}};
    list << Shot{QStringLiteral("scancard"), QStringLiteral("ScanScreens"), {}, {}, QStringLiteral("ScanCard")};
    list << Shot{QStringLiteral("scanbarcode"), QStringLiteral("ScanScreens"), {}, {}, QStringLiteral("ScanBarcode")};
    list << Shot{QStringLiteral("valid-0-barcode"), QStringLiteral("Valid"),
                 transaction(true, 0, QStringLiteral("Single ticket 90'"),
                             details({{"transferRemainingMin", 87}})), {}, {}};
    list << Shot{QStringLiteral("valid-2-epurse"), QStringLiteral("Valid"),
                 transaction(true, 2, QStringLiteral("Electronic purse"),
                             details({{"deducted", 1.2}, {"remaining", 18.6}})), {}, {}};
    list << Shot{QStringLiteral("valid-5-journeys"), QStringLiteral("Valid"),
                 transaction(true, 5, QStringLiteral("10 journeys"),
                             details({{"transferRemainingMin", 90}, {"remaining", 7}})), {}, {}};
    list << Shot{QStringLiteral("valid-8-period"), QStringLiteral("Valid"),
                 transaction(true, 8, QStringLiteral("Monthly pass, adult"),
                             details({{"remaining", 33120}, {"expires", expires}})), {}, {}};
    list << Shot{QStringLiteral("valid-12-transfer"), QStringLiteral("Valid"),
                 transaction(true, 12, QStringLiteral("Transfer"),
                             details({{"transferRemainingMin", 121}, {"remaining", 6}})), {}, {}};
    list << Shot{QStringLiteral("valid-14-transfer-epurse"), QStringLiteral("Valid"),
                 transaction(true, 14, QStringLiteral("Transfer, electronic purse"),
                             details({{"transferRemainingMin", 45}, {"remaining", 9.4}})), {}, {}};
    list << Shot{QStringLiteral("valid-15-capping-epurse"), QStringLiteral("Valid"),
                 transaction(true, 15, QStringLiteral("Daily cap"),
                             details({{"deducted", 0.0}, {"remaining", 12.0}})), {}, {}};
    list << Shot{QStringLiteral("valid-16-capping-journeys"), QStringLiteral("Valid"),
                 transaction(true, 16, QStringLiteral("Weekly cap"),
                             details({{"transferRemainingMin", 1}, {"remaining", 3}})), {}, {}};
    list << Shot{QStringLiteral("alreadyvalid-5-journeys"), QStringLiteral("AlreadyValid"),
                 transaction(false, 5, QStringLiteral("10 journeys"),
                             details({{"transferRemainingMin", 12}, {"remaining", 7}})), {}, {}};
    list << Shot{QStringLiteral("alreadyvalid-16-capping-journeys"), QStringLiteral("AlreadyValid"),
                 transaction(false, 16, QStringLiteral("Weekly cap"),
                             details({{"transferRemainingMin", 12}, {"remaining", 3}})), {}, {}};
    list << Shot{QStringLiteral("invalid"), QStringLiteral("Invalid"),
                 transaction(false, 5, QStringLiteral("10 journeys"), details({}),
                             QStringLiteral("The card does not have enough trips")), {}, {}};
    list << Shot{QStringLiteral("retry"), QStringLiteral("Retry"), {}, {}, {}};
    list << Shot{QStringLiteral("outoforder"), QStringLiteral("OutOfOrder"), {}, QStringLiteral("#0003"), {}};
    list << Shot{QStringLiteral("outofservice"), QStringLiteral("OutOfService"), {}, {}, {}};
    list << Shot{QStringLiteral("screensaver"), QStringLiteral("ScreenSaver"), {}, {}, {}};
    list << Shot{QStringLiteral("login"), QStringLiteral("Login"), {}, {}, {}};
    return list;
}

void settle(int msec)
{
    QEventLoop loop;
    QTimer::singleShot(msec, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    app.setApplicationVersion(QStringLiteral(TICORA_VERSION));
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Folder for the pictures."),
                                       QStringLiteral("dir"), QStringLiteral("screenshots"));
    const QCommandLineOption langOption(QStringLiteral("lang"), QStringLiteral("Language."),
                                        QStringLiteral("locale"), QStringLiteral("en_IE"));
    const QCommandLineOption onlyOption(QStringLiteral("only"), QStringLiteral("Only this picture."),
                                        QStringLiteral("name"));
    parser.addOptions({outOption, langOption, onlyOption});
    parser.process(app);

    QFontDatabase::addApplicationFont(QStringLiteral(":/qml/fonts/DejaVuSans.ttf"));
    app.setFont(QFont(QStringLiteral("DejaVu Sans")));
    QQuickStyle::setStyle(QStringLiteral("Material"));

    // The stand-in outlives the engine, so no binding sees it vanish at exit.
    MockManager manager;
    QQmlApplicationEngine engine;
    manager.setEngine(&engine);
    manager.reset();
    manager.setDeviceId(QStringLiteral("K12345678"));
    manager.setScreen(QStringLiteral("Busy"));
    engine.load(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
    if (!window)
        return 1;
    // From no language to the chosen one, so every page takes its locale.
    manager.setLanguage(QString());
    manager.setLanguage(parser.value(langOption));
    // The first frames of a new window come late under Xvfb.
    settle(1500);

    const QString outDir = parser.value(outOption);
    QDir().mkpath(outDir);
    const QString suffix = QLatin1Char('-') + parser.value(langOption);
    for (const Shot& shot : shots()) {
        if (parser.isSet(onlyOption) && parser.value(onlyOption) != shot.file)
            continue;
        manager.setTransaction(shot.transaction);
        manager.setMessage(shot.message);
        manager.setScreen(shot.screen);
        if (!shot.windowScreen.isEmpty())
            window->setProperty("currentScreen", shot.windowScreen);
        settle(700);
        QImage image = window->grabWindow();
        if (image.isNull())
            image = window->screen()->grabWindow(window->winId()).toImage();
        const QString path = outDir + QLatin1Char('/') + shot.file + suffix + QStringLiteral(".png");
        if (!image.save(path)) {
            qCritical().noquote() << "[Harness] ERROR: could not write" << path;
            return 1;
        }
        qInfo().noquote() << "[Harness]" << path;
    }
    return 0;
}
