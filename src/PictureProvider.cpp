#include "PictureProvider.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QQmlEngine>
#include <QUrl>
#include <QtMath>

#include <algorithm>
#include <cmath>

#define PICTURE_LOG(level) level().noquote().nospace() << "[PictureProvider] "

namespace {

bool isVector(const QByteArray& format) { return format == "svg" || format == "svgz"; }

// The size Qt Quick decodes a picture at for a requested source size when the
// Image keeps the aspect ratio (every picture of the window is drawn so): scaled,
// up or down, until it covers the size asked for; the Image then fits it in.
QSize decodeSize(const QSize& original, const QSize& requested)
{
    if ((requested.width() <= 0 && requested.height() <= 0) || original.isEmpty())
        return QSize();
    qreal ratio = 0.0;
    if (requested.width() > 0)
        ratio = qreal(requested.width()) / original.width();
    if (requested.height() > 0)
        ratio = qMax(ratio, qreal(requested.height()) / original.height());
    return QSize(qRound(original.width() * ratio), qRound(original.height() * ratio));
}

// Icons rendered at build time sit beside their SVG as rendered/<name>-<w>x<h>.png.
QString renderedPath(const QString& path, const QSize& size)
{
    if (!path.startsWith(QLatin1Char(':')) || !size.isValid())
        return QString();
    const QFileInfo svg(path);
    return svg.path() + QStringLiteral("/rendered/%1-%2x%3.png").arg(svg.completeBaseName()).arg(size.width()).arg(size.height());
}

// The smallest rendering of the icon at least as large as size, else its largest;
// empty when the build rendered none.
QString nearestRendering(const QString& path, const QSize& size)
{
    const QFileInfo svg(path);
    const QString prefix = svg.completeBaseName() + QLatin1Char('-');
    const int need = qMax(size.width(), size.height());
    QString best;
    int bestSide = 0;
    const QStringList names = QDir(svg.path() + QStringLiteral("/rendered")).entryList({ prefix + QStringLiteral("*.png") });
    for (const QString& name : names) {
        // Another icon whose name starts the same ("arrow-right-…" for "arrow") reads as 0.
        const int side = name.mid(prefix.size()).section(QLatin1Char('x'), 0, 0).toInt();
        if (side <= 0)
            continue;
        const bool better = bestSide >= need ? side >= need && side < bestSide : side > bestSide;
        if (better) {
            best = svg.path() + QStringLiteral("/rendered/") + name;
            bestSide = side;
        }
    }
    return best;
}

// Icons asked for at sizes the build did not render; the provider may decode on
// Qt Quick's image thread.
struct Notes
{
    QMutex lock;
    QStringList unrendered;
    QStringList fromSvg;
};

Notes& notes()
{
    static Notes n;
    return n;
}

void note(const QString& entry, bool fromSvg)
{
    Notes& n = notes();
    const QMutexLocker lock(&n.lock);
    if (fromSvg && !n.fromSvg.contains(entry))
        n.fromSvg << entry;
    if (n.unrendered.contains(entry))
        return;
    n.unrendered << entry;
    PICTURE_LOG(qInfo) << "INFO: " << entry << " was not rendered at build time: "
                       << (fromSvg ? "drawn from the SVG" : "scaled from the nearest rendering");
}

QString localPath(const QString& url)
{
    const QUrl u(url);
    if (u.scheme() == QLatin1String("qrc"))
        return QLatin1Char(':') + u.path();
    if (u.isLocalFile())
        return u.toLocalFile();
    return QString();
}

int mix(int from, int to, int weight) { return (from * (255 - weight) + to * weight + 127) / 255; }

// Signed distance from (x, y) to the outline of a rounded rectangle centred on the
// origin with half-extent (hw, hh): negative inside.
qreal roundedRectDistance(qreal x, qreal y, qreal hw, qreal hh, qreal radius)
{
    const qreal qx = std::abs(x) - (hw - radius);
    const qreal qy = std::abs(y) - (hh - radius);
    const qreal outside = std::hypot(qMax(qx, 0.0), qMax(qy, 0.0));
    return outside + qMin(qMax(qx, qy), 0.0) - radius;
}

// Share of a pixel covered at distance d from an edge: a Gaussian blur of the
// shape with standard deviation blur, or plain antialiasing without one.
qreal coverage(qreal d, qreal blur)
{
    if (blur <= 0.0)
        return qBound(0.0, 0.5 - d, 1.0);
    return 0.5 * std::erfc(d / (blur * M_SQRT2));
}

// Largest shadow side and blur accepted from an address.
constexpr qreal MaxShadowSide = 4096;
constexpr qreal MaxBlur = 64;

} // namespace

PictureProvider::PictureProvider(Mode mode) : QQuickImageProvider(QQuickImageProvider::Image), m_mode(mode) {}

QImage PictureProvider::read(const QString& url, const QSize& requestedSize, QString* error)
{
    const QString path = localPath(url);
    if (path.isEmpty()) {
        *error = QStringLiteral("not a qrc: or file: address");
        return QImage();
    }
    QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format == "jpg")
        format = "jpeg";
    // Looked for before the SVG is opened: opening it loads the renderer. A size
    // the build did not render (a row still laying itself out, or a new layout)
    // is scaled from the nearest rendering, and named.
    // Only the window's own icons have renderings (others, such as the virtual
    // keyboard's, are always drawn from their SVG).
    const bool ownIcon = path.startsWith(QLatin1String(":/qml/"));
    if (isVector(format) && requestedSize.width() > 0 && requestedSize.height() > 0 && ownIcon) {
        const QString rendered = renderedPath(path, requestedSize);
        if (QFile::exists(rendered))
            return read(QStringLiteral("qrc") + rendered, QSize(), error);
        const QString nearest = nearestRendering(path, requestedSize);
        if (!nearest.isEmpty()) {
            const QImage image = read(QStringLiteral("qrc") + nearest, QSize(), error);
            if (!image.isNull()) {
                note(QStringLiteral("%1 at %2x%3").arg(path).arg(requestedSize.width()).arg(requestedSize.height()), false);
                return image.scaled(requestedSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
            }
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return QImage();
    }
    QImage image;
    // By the name's type only; a picture whose name lies about its type is then
    // read by its content, as Qt would.
    for (const bool byContent : { false, true }) {
        file.seek(0);
        QImageReader reader(&file, byContent ? QByteArray() : format);
        reader.setAutoDetectImageFormat(byContent);
        if (!byContent && !reader.canRead())
            continue;
        const QByteArray type = reader.format();
        const QSize scaled = decodeSize(reader.size(), requestedSize);
        if (isVector(type) && ownIcon) {
            note(QStringLiteral("%1 at %2x%3").arg(path).arg(scaled.width()).arg(scaled.height()), true);
        }
        if (scaled.isValid())
            reader.setScaledSize(scaled);
        image = reader.read();
        if (!image.isNull())
            break;
        *error = reader.errorString();
    }
    if (image.isNull())
        return image;
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

QImage PictureProvider::tint(const QImage& image, const QColor& colour)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const int weight = colour.alpha();
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(mix(qRed(p), r, weight), mix(qGreen(p), g, weight), mix(qBlue(p), b, weight), qAlpha(p));
        }
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage PictureProvider::round(const QImage& image)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal r = qMin(out.width(), out.height()) / 2.0;
    const qreal cx = out.width() / 2.0, cy = out.height() / 2.0;
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const qreal a = coverage(std::hypot(x + 0.5 - cx, y + 0.5 - cy) - r, 0.0);
            if (a >= 1.0)
                continue;
            const QRgb p = line[x];
            const auto scale = [a](int c) { return qRound(c * a); };
            line[x] = qRgba(scale(qRed(p)), scale(qGreen(p)), scale(qBlue(p)), scale(qAlpha(p)));
        }
    }
    return out;
}

QImage PictureProvider::shadow(const QSizeF& size, qreal radius, qreal blur, const QColor& colour)
{
    if (!(size.width() > 0 && size.height() > 0 && size.width() <= MaxShadowSide && size.height() <= MaxShadowSide)
        || !(blur >= 0 && blur <= MaxBlur) || !(radius >= 0) || !colour.isValid())
        return QImage();
    // Three deviations hold all but a trace of the blur.
    const int margin = qCeil(3 * blur) + 1;
    QImage out(qCeil(size.width()) + 2 * margin, qCeil(size.height()) + 2 * margin, QImage::Format_ARGB32_Premultiplied);
    const qreal hw = size.width() / 2, hh = size.height() / 2;
    const qreal r = qMin(radius, qMin(hw, hh));
    const qreal cx = out.width() / 2.0, cy = out.height() / 2.0;
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const qreal a = colour.alphaF() * coverage(roundedRectDistance(x + 0.5 - cx, y + 0.5 - cy, hw, hh, r), blur);
            line[x] = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), qRound(a * 255)));
        }
    }
    return out;
}

QImage PictureProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    if (m_mode == Mode::Shadow) {
        // <w>x<h>/<radius>/<blur>/<aarrggbb>
        const QStringList parts = id.split(QLatin1Char('/'));
        const QStringList extent = parts.value(0).split(QLatin1Char('x'));
        bool ok[5] = {};
        const QSizeF side(extent.value(0).toDouble(&ok[0]), extent.value(1).toDouble(&ok[1]));
        const qreal radius = parts.value(1).toDouble(&ok[2]);
        const qreal blur = parts.value(2).toDouble(&ok[3]);
        const QColor colour(QLatin1Char('#') + parts.value(3));
        ok[4] = parts.size() == 4 && extent.size() == 2 && parts.value(3).size() == 8;
        const QImage image = std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; })
            ? shadow(side, radius, blur, colour)
            : QImage();
        if (image.isNull())
            PICTURE_LOG(qWarning) << "WARN: Not a shadow: " << id;
        else if (size)
            *size = image.size();
        return image;
    }
    QString url = id;
    QColor colour;
    if (m_mode == Mode::Tinted) {
        const int slash = id.indexOf(QLatin1Char('/'));
        if (slash == 8)
            colour = QColor(QLatin1Char('#') + id.left(slash));
        if (!colour.isValid()) {
            PICTURE_LOG(qWarning) << "WARN: No colour in the tinted picture " << id;
            return QImage();
        }
        url = id.mid(slash + 1);
    }
    QString error;
    QImage image = read(url, requestedSize, &error);
    if (image.isNull()) {
        PICTURE_LOG(qWarning) << "WARN: Cannot read the picture " << url << ": " << error;
        return image;
    }
    if (m_mode == Mode::Tinted)
        image = tint(image, colour);
    if (m_mode == Mode::Round) {
        // Decoded to cover the size asked for; the middle of it, as a cropping Image shows.
        if (requestedSize.width() > 0 && requestedSize.height() > 0)
            image = image.copy(QRect(QPoint((image.width() - requestedSize.width()) / 2,
                                         (image.height() - requestedSize.height()) / 2),
                requestedSize));
        image = round(image);
    }
    if (size)
        *size = image.size();
    return image;
}

QStringList PictureProvider::unrendered()
{
    const QMutexLocker lock(&notes().lock);
    return notes().unrendered;
}

QStringList PictureProvider::drawnFromSvg()
{
    const QMutexLocker lock(&notes().lock);
    return notes().fromSvg;
}

void addPictureProviders(QQmlEngine* engine)
{
    engine->addImageProvider(QStringLiteral("picture"), new PictureProvider(PictureProvider::Mode::Plain));
    engine->addImageProvider(QStringLiteral("tinted"), new PictureProvider(PictureProvider::Mode::Tinted));
    engine->addImageProvider(QStringLiteral("round"), new PictureProvider(PictureProvider::Mode::Round));
    engine->addImageProvider(QStringLiteral("shadow"), new PictureProvider(PictureProvider::Mode::Shadow));
}
