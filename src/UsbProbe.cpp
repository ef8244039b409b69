#include "UsbProbe.h"

#include "DiagnosticsLog.h"

#include <QFile>
#include <QFileInfo>

QString UsbProbe::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        DIAG_LOG(qCritical) << "ERROR: Failed to open fle : " << path;
        return QString();
    }
    QByteArray data = file.readAll();
    const int nul = data.indexOf('\0');
    if (nul >= 0)
        data.truncate(nul);
    return QString::fromUtf8(data).trimmed();
}

QString UsbProbe::test(const Device& device) const
{
    const QString dir = m_devicesDir + QLatin1Char('/') + device.path;
    if (!QFileInfo(dir).isDir())
        return QStringLiteral("MISSING");
    const QString vendor = readFile(dir + QLatin1String("/idVendor"));
    const QString product = readFile(dir + QLatin1String("/idProduct"));
    const QString productName = readFile(dir + QLatin1String("/product"));
    const QString found = vendor + QLatin1Char(':') + product;
    DIAG_LOG(qDebug) << "name=" << device.name << " deviceId=" << found << " expected=" << device.id
                     << " product=" << productName;
    if (device.id == QLatin1String("any") || device.id == QLatin1String("*") || found.contains(device.id))
        return QStringLiteral("OK");
    return QStringLiteral("ERROR");
}
