// Build helper: renders the window's SVG icons to PNG at the sizes the screens draw
// them, through the same image reader the program would use at run time, so the
// program needs no SVG renderer (nor the widget library it drags in) at run time.
//
//   ticora-render-icons OUT_DIR SVG_DIR name:size [name:size ...]
//
// writes OUT_DIR/name-<size>x<size>.png for SVG_DIR/name.svg.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: ticora-render-icons OUT_DIR SVG_DIR name:size...\n");
        return 2;
    }
    const QDir out(args.at(1));
    const QDir svgDir(args.at(2));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "ticora-render-icons: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    for (int i = 3; i < args.size(); ++i) {
        const QStringList parts = args.at(i).split(QLatin1Char(':'));
        bool ok = false;
        const int size = parts.size() == 2 ? parts.at(1).toInt(&ok) : 0;
        if (!ok || size <= 0) {
            std::fprintf(stderr, "ticora-render-icons: bad entry %s\n", qPrintable(args.at(i)));
            return 1;
        }
        QImageReader reader(svgDir.filePath(parts.at(0) + QStringLiteral(".svg")), "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        const QString target = out.filePath(QStringLiteral("%1-%2x%2.png").arg(parts.at(0)).arg(size));
        if (image.isNull() || !image.save(target, "png")) {
            std::fprintf(stderr, "ticora-render-icons: %s: %s\n", qPrintable(args.at(i)), qPrintable(reader.errorString()));
            return 1;
        }
    }
    return 0;
}
