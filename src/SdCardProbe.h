#pragma once

#include <QFileInfo>
#include <QString>

// The SD card counts as present while its partition's device node exists.
class SdCardProbe
{
public:
    explicit SdCardProbe(const QString& node)
        : m_node(node)
    {
    }

    QString test() const { return QFileInfo::exists(m_node) ? QStringLiteral("OK") : QStringLiteral("MISSING"); }

private:
    QString m_node;
};
