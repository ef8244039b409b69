#pragma once

#include <QObject>
#include <QString>

#include <qrcodegen.hpp>

// Draws a QR code as a compact SVG document: one unit square per dark module on a
// white background, with a quiet zone of `border` modules.
class QrCodeGenerator : public QObject
{
    Q_OBJECT
public:
    explicit QrCodeGenerator(QObject* parent = nullptr);

    // The empty string (and a critical log line) when the text does not fit the
    // largest symbol at that level.
    QString generateSvgQr(const QString& text, quint16 border, qrcodegen::QrCode::Ecc ecl) const;
    QString toSvgString(const qrcodegen::QrCode& qr, quint16 border) const;
};
