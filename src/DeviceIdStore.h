#pragma once

#include <QObject>
#include <QString>

class Config;

// The device id file named by "gui/deviceId": read at start-up and after the key
// changes, written safely when the technician enters a new id.
class DeviceIdStore : public QObject
{
    Q_OBJECT
public:
    explicit DeviceIdStore(Config& config, QObject* parent = nullptr);

    // A reference that stays valid for the store's life: the diagnostics keep it.
    const QString& id() const { return m_id; }
    // Stores and saves a new id; the same id again changes nothing.
    void setId(const QString& value);
    // Reads the first non-empty line of the file; always announces the result.
    void loadDeviceId();

    // C or K followed by eight digits.
    static bool isValidDeviceId(const QString& id);

signals:
    void idChanged();
    void saveFailed(const QString& reason);

private:
    void saveDeviceId();

    Config& m_config;
    QString m_id;
};
