#pragma once

#include <QColor>
#include <QImage>
#include <QQuickImageProvider>
#include <QSize>
#include <QString>
#include <QStringList>

class QQmlEngine;

// Decodes the window's pictures. Each is read by the type its name gives, so the
// image reader never loads every image plug-in of the system to ask whether it
// reads the type (a megabyte of libraries for pictures that are all PNG and SVG),
// and is handed over premultiplied, so no converted copy is made for drawing.
//
// "image://picture/<url>" is the picture at <url> (qrc: or file:). An SVG icon of
// the resources comes from its PNG rendered at build time at the size asked for,
// or is scaled from its nearest rendering, so no SVG renderer is loaded.
// "image://tinted/<aarrggbb>/<url>" is the same picture recoloured with that
// colour: every pixel keeps its coverage and is mixed towards the colour by the
// colour's alpha, as a colour overlay would, but done once on decoding, drawn by
// either renderer, and without an offscreen layer per icon.
// "image://round/<url>" is the picture cropped to fill the requested size and cut
// to the circle inside it.
// "image://shadow/<w>x<h>/<radius>/<blur>/<aarrggbb>" is the soft shadow of a
// rounded rectangle of that size and corner radius, blurred as a Gaussian blur
// of that standard deviation would, with a margin wide enough for the blur: a
// shadow either renderer draws without a shader.
class PictureProvider : public QQuickImageProvider
{
public:
    enum class Mode { Plain, Tinted, Round, Shadow };

    explicit PictureProvider(Mode mode);

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The picture at url decoded as Qt Quick decodes it for an Image that keeps
    // the aspect ratio: scaled to cover the requested size. A null image (and
    // *error set) when it cannot be read.
    static QImage read(const QString& url, const QSize& requestedSize, QString* error);
    // Icons asked for at a size the build did not render, so far ("path at WxH"):
    // scaled from the nearest rendering, or drawn from the SVG when it has none.
    static QStringList unrendered();
    // Those of them drawn from the SVG: each has loaded the SVG renderer (and the
    // widget library) for the rest of the run.
    static QStringList drawnFromSvg();
    // image mixed towards colour by colour's alpha, coverage unchanged; premultiplied.
    static QImage tint(const QImage& image, const QColor& colour);
    // image with everything outside the circle inside it cleared, the rim antialiased.
    static QImage round(const QImage& image);
    // The shadow described above; null for a size or blur out of range.
    static QImage shadow(const QSizeF& size, qreal radius, qreal blur, const QColor& colour);

private:
    Mode m_mode;
};

// Registers "picture", "tinted", "round" and "shadow" with the engine (owned by it).
void addPictureProviders(QQmlEngine* engine);
