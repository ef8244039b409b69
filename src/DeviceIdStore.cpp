#include "DeviceIdStore.h"

#include "Config.h"
#include "GuiLog.h"
#include "SettingsKeys.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

DeviceIdStore::DeviceIdStore(Config& config, QObject* parent)
    : QObject(parent)
    , m_config(config)
{
}

void DeviceIdStore::loadDeviceId()
{
    const QString path = m_config.get(manager::keys::DeviceId).toString();
    QFile file(path);
    GUI_LOG(qInfo) << "Loading device id from : " << path;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        GUI_LOG(qCritical) << "ERROR: Could not load device S/N from file : " << path << " (" << file.errorString()
                           << ")";
        return;
    }
    QTextStream in(&file);
    QString line;
    // Only the first non-empty line counts; a huge file is read no further than that.
    while (!in.atEnd()) {
        line = in.readLine(4096).trimmed();
        if (!line.isEmpty())
            break;
    }
    if (line.isEmpty())
        GUI_LOG(qWarning) << "WARN: Device id file is empty : " << path;
    else if (!isValidDeviceId(line))
        GUI_LOG(qWarning) << "WARN: Device id file holds no valid device id : " << path;
    m_id = line;
    emit idChanged();
}

void DeviceIdStore::setId(const QString& value)
{
    if (value == m_id)
        return;
    GUI_LOG(qWarning) << "Device ID changed : " << value;
    m_id = value;
    saveDeviceId();
    emit idChanged();
}

void DeviceIdStore::saveDeviceId()
{
    const QString path = m_config.get(manager::keys::DeviceId).toString();
    GUI_LOG(qInfo) << "Saving device id to : " << path;
    const QByteArray bytes = m_id.toUtf8();
    auto failed = [this, &path](const QString& reason, bool oldKept = false) {
        GUI_LOG(qCritical) << "ERROR: Could not save device S/N to file : " << path << " (" << reason << ")"
                           << (oldKept ? "; the file keeps the previous id" : "");
        emit saveFailed(reason);
    };
    // Written beside its name and renamed into place: a power cut mid-write leaves
    // the old id, never an empty file that would send the unit to the serial page.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        // Flushed before commit(): in Qt 5 a write that fails only when flushed (a full
        // card) still commits, and renames an empty file over the old id.
        if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
            file.cancelWriting();
            failed(file.errorString(), true);
        }
        return;
    }
    // A folder that cannot hold a temporary file (/etc on a read-only root with the
    // id file itself writable) leaves only a write in place, cut to size afterwards.
    QFile direct(path);
    if (!QFileInfo(path).isFile() || !direct.open(QIODevice::ReadWrite)) {
        failed(direct.errorString().isEmpty() ? file.errorString() : direct.errorString());
        return;
    }
    if (direct.write(bytes) != bytes.size() || !direct.resize(bytes.size()) || !direct.flush())
        failed(direct.errorString());
}

bool DeviceIdStore::isValidDeviceId(const QString& id)
{
    static const QRegularExpression pattern(QStringLiteral("^[CK][0-9]{8}$"));
    return pattern.match(id).hasMatch();
}
