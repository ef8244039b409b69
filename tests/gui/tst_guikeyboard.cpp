#include "GuiRig.h"
#include "InputMethod.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

// The real window under a private X server, tapped like a finger with xdotool: the
// stand-in on-screen keyboard must come up on the serial-number field and type.
namespace {

QString g_display;

// An X server of its own on a free display; no TCP.
bool startXvfb(QProcess& xvfb)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    xvfb.setProgram(QStringLiteral("Xvfb"));
    xvfb.setArguments({ QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-screen"),
        QStringLiteral("0"), QStringLiteral("480x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    xvfb.start();
    ::close(fds[1]);
    if (!xvfb.waitForStarted(10000)) {
        ::close(fds[0]);
        return false;
    }
    char buf[16] = {};
    const ssize_t n = ::read(fds[0], buf, sizeof buf - 1);
    ::close(fds[0]);
    if (n <= 0)
        return false;
    g_display = QLatin1Char(':') + QString::fromLatin1(buf).trimmed();
    return true;
}

void tap(const QQuickItem* item)
{
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    const QPoint global = item->window()->mapToGlobal(centre.toPoint());
    QProcess xdotool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), g_display);
    xdotool.setProcessEnvironment(env);
    xdotool.start(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
            QStringLiteral("click"), QStringLiteral("1") });
    QVERIFY(xdotool.waitForFinished(10000));
    QCOMPARE(xdotool.exitCode(), 0);
}

// Every item drawn under root, through the visual tree (loaders' items included).
QList<QQuickItem*> drawnItems(QQuickItem* root)
{
    QList<QQuickItem*> out;
    for (QQuickItem* child : root->childItems())
        out << child << drawnItems(child);
    return out;
}

QQuickItem* named(QQuickItem* root, const QString& name)
{
    for (QQuickItem* item : drawnItems(root))
        if (item->objectName() == name && item->isVisible())
            return item;
    return nullptr;
}

// The on-screen key that sends this Qt key code, shown and of a real size.
QQuickItem* keyFor(QQuickItem* root, int code)
{
    const auto items = drawnItems(root);
    for (QQuickItem* item : items) {
        const QVariant key = item->property("key");
        if (key.isValid() && item->property("displayText").isValid() && key.toInt() == code && item->isVisible()
            && item->width() > 0 && item->property("enabled").toBool())
            return item;
    }
    return nullptr;
}

} // namespace

class TestGuiKeyboard : public QObject
{
    Q_OBJECT
private slots:
    // First, while no page has built its keyboard yet.
    void aFieldOutsideAKeyboardPageOpensNoWindow()
    {
        if (g_display.isEmpty())
            QSKIP("Xvfb cannot be started here");
        QQmlApplicationEngine engine;
        engine.loadData("import QtQuick 2.15\nimport QtQuick.Window 2.15\n"
                        "Window { width: 480; height: 800; visible: true\n"
                        "    TextInput { objectName: 'field'; width: 200; height: 40 } }");
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto* field = window->findChild<QQuickItem*>(QStringLiteral("field"));
        QVERIFY(field);
        window->requestActivate();
        field->forceActiveFocus();
        QTRY_VERIFY_WITH_TIMEOUT(field->hasActiveFocus(), 20000);
        QGuiApplication::inputMethod()->show();
        // Qt's own keyboard window, when it comes, is shown within a few frames.
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        window->update();
        QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 1, 20000);
        QTest::qWait(1000);
        QStringList others;
        for (QWindow* w : QGuiApplication::topLevelWindows())
            if (w != window && w->isVisible())
                others << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
        QVERIFY2(others.isEmpty(), qPrintable(others.join(QStringLiteral(", "))));
        QGuiApplication::inputMethod()->hide();
    }

    void tapTheFieldAndTypeTheId()
    {
        if (g_display.isEmpty())
            QSKIP("Xvfb cannot be started here");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        GuiRig f { QString() };
        f.gui->load();
        f.gui->setIdleScreen(); // no id: the serial-number page, without the start-up wait
        QCOMPARE(f.gui->screen(), QString("InitPage"));
        auto* window = qobject_cast<QQuickWindow*>(f.gui->engine().rootObjects().value(0));
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(window->isExposed(), 20000);
        QQuickItem* field = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (field = named(window->contentItem(), QStringLiteral("serialField"))) != nullptr, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(field->isVisible(), 20000);

        // The column centres itself once laid out: tap where it is drawn in the end.
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        qreal lastY = -1;
        auto settled = [&] {
            const qreal y = field->mapToScene(QPointF(0, 0)).y();
            const bool same = frames.size() >= 2 && qAbs(y - lastY) < 0.5;
            lastY = y;
            return same;
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 20000);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        tap(field);
        QTRY_VERIFY_WITH_TIMEOUT(field->hasActiveFocus(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::inputMethod()->isVisible(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(keyFor(window->contentItem(), Qt::Key_K), 20000);
        QTest::qWait(500); // still up after a moment: it did not hide again at once
        QVERIFY(QGuiApplication::inputMethod()->isVisible());
        // Drawn inside the window, its bottom row on the window's bottom edge.
        QQuickItem* k = keyFor(window->contentItem(), Qt::Key_K);
        QTRY_VERIFY_WITH_TIMEOUT(k->mapToScene(QPointF(0, k->height())).y() <= window->height(), 20000);

        tap(k);
        QTRY_COMPARE_WITH_TIMEOUT(field->property("text").toString(), QString("K"), 20000);
        // Digits are on the symbol page.
        QQuickItem* symbols = keyFor(window->contentItem(), Qt::Key_Context1);
        QVERIFY(symbols);
        tap(symbols);
        QTRY_VERIFY_WITH_TIMEOUT(keyFor(window->contentItem(), Qt::Key_1), 20000);
        const QString digits = QStringLiteral("12345678");
        for (int i = 0; i < digits.size(); ++i) {
            tap(keyFor(window->contentItem(), Qt::Key_0 + digits.at(i).digitValue()));
            QTRY_COMPARE_WITH_TIMEOUT(
                field->property("text").toString(), QStringLiteral("K") + digits.left(i + 1), 20000);
        }
    }
};

int main(int argc, char** argv)
{
    QProcess xvfb;
    {
        QCoreApplication probe(argc, argv); // QProcess needs an application
        if (startXvfb(xvfb)) {
            qputenv("DISPLAY", g_display.toLatin1());
            qputenv("QT_QPA_PLATFORM", "xcb");
            qunsetenv("QT_QUICK_BACKEND");
        }
    }
    useInputMethod("qtvirtualkeyboard");
    qputenv("QT_LOGGING_RULES", "qt.virtualkeyboard.hunspell.warning=false");
    int rc;
    {
        QGuiApplication app(argc, argv);
        TestGuiKeyboard test;
        rc = QTest::qExec(&test, argc, argv);
    }
    xvfb.terminate();
    xvfb.waitForFinished(10000);
    return rc;
}

#include "tst_guikeyboard.moc"
