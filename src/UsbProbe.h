#pragma once

#include <QString>

// Checks one expected USB device by its sysfs directory: there or not, and when a
// particular device is expected, whether its vendor:product id matches.
class UsbProbe
{
public:
    struct Device
    {
        QString name;
        QString id;
        QString path;
    };

    explicit UsbProbe(const QString& devicesDir)
        : m_devicesDir(devicesDir)
    {
    }

    // "OK", "ERROR" or "MISSING".
    QString test(const Device& device) const;

    // A sysfs entry up to its first NUL, trimmed; the null string when unreadable.
    static QString readFile(const QString& path);

private:
    QString m_devicesDir;
};
