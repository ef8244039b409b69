// ticora-bench-floor: what the panel is compared with in scripts/bench.sh.
//
//   ticora-bench-floor                 a bare 480 x 800 Qt Quick Controls window
//   ticora-bench-floor --stepping      the same with one picture changing every 300 ms
//
// The window is built like the panel: Material style, QML compiled ahead of time.

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>

#include <cstring>

int main(int argc, char* argv[])
{
    const bool stepping = argc > 1 && std::strcmp(argv[1], "--stepping") == 0;
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("floorStepping"), stepping);
    engine.load(QUrl(QStringLiteral("qrc:/floor/floor.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    return app.exec();
}
