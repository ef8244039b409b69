#include "QrCodeGenerator.h"

#include <QDebug>

QrCodeGenerator::QrCodeGenerator(QObject* parent)
    : QObject(parent)
{
}

QString QrCodeGenerator::generateSvgQr(const QString& text, quint16 border, qrcodegen::QrCode::Ecc ecl) const
{
    const QByteArray utf8 = text.toUtf8();
    try {
        return toSvgString(qrcodegen::QrCode::encodeText(utf8.constData(), ecl), border);
    } catch (const qrcodegen::data_too_long& e) {
        qCritical().noquote().nospace() << "[QrCodeGenerator] ERROR: Text of " << utf8.size()
                                        << " bytes does not fit in a QR code : " << e.what();
    } catch (const std::exception& e) {
        qCritical().noquote().nospace() << "[QrCodeGenerator] ERROR: QR encoding failed : " << e.what();
    }
    return QString();
}

QString QrCodeGenerator::toSvgString(const qrcodegen::QrCode& qr, quint16 border) const
{
    const int size = qr.getSize();
    const QString width = QString::number(size + 2 * int(border));

    QString svg;
    svg.reserve(64 + size * size * 12);
    svg += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                         "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
                         "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">"
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 ");
    svg += width + QLatin1Char(' ') + width;
    svg += QLatin1String("\" stroke=\"none\"><rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/><path d=\"");
    bool first = true;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (!qr.getModule(x, y))
                continue;
            if (!first)
                svg += QLatin1Char(' ');
            first = false;
            svg += QLatin1Char('M') + QString::number(x + border) + QLatin1Char(',') + QString::number(y + border)
                + QLatin1String("h1v1h-1z");
        }
    }
    svg += QLatin1String("\" fill=\"#000000\"/></svg>");
    return svg;
}
