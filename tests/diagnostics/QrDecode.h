#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Renders an SVG QR code to a PNG and reads it back with a real scanner, as a phone
// would. Null when the tools are missing (the test then skips).
inline QString scanSvgQr(const QString& svg)
{
    if (QStandardPaths::findExecutable(QStringLiteral("rsvg-convert")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        return QString();
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("qr.svg")));
    if (!file.open(QIODevice::WriteOnly) || file.write(svg.toUtf8()) < 0)
        return QString();
    file.close();
    const QString png = dir.filePath(QStringLiteral("qr.png"));
    QProcess render;
    render.start(QStringLiteral("rsvg-convert"),
        { QStringLiteral("-w"), QStringLiteral("400"), QStringLiteral("-b"), QStringLiteral("white"), file.fileName(),
            QStringLiteral("-o"), png });
    if (!render.waitForFinished(120000) || render.exitCode() != 0)
        return QStringLiteral("<render failed>");
    QProcess scan;
    scan.start(QStringLiteral("zbarimg"),
        { QStringLiteral("--nodbus"), QStringLiteral("--quiet"), QStringLiteral("--raw"), png });
    if (!scan.waitForFinished(120000) || scan.exitCode() != 0)
        return QStringLiteral("<no code found>");
    QByteArray out = scan.readAllStandardOutput();
    if (out.endsWith('\n'))
        out.chop(1);
    return QString::fromUtf8(out);
}

#define SCAN_OR_SKIP(var, svg)                                                                                         \
    const QString var = scanSvgQr(svg);                                                                                \
    if (var.isNull())                                                                                                  \
        QSKIP("rsvg-convert or zbarimg missing (scripts/install-deps.sh installs them)");
