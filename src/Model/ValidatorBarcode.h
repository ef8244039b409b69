#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

// The barcode reader as the validator service reports it. Filled only from JSON.
class ValidatorBarcode : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool active READ active NOTIFY activeChanged)
    Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)
    Q_PROPERTY(QString firmware READ firmware NOTIFY firmwareChanged)
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)
    Q_PROPERTY(QString manufacturer READ manufacturer NOTIFY manufacturerChanged)
    Q_PROPERTY(QString model READ model NOTIFY modelChanged)
public:
    explicit ValidatorBarcode(QObject* parent = nullptr);

    bool active() const { return m_active; }
    bool enabled() const { return m_enabled; }
    QString firmware() const { return m_firmware; }
    QString version() const { return m_version; }
    QString manufacturer() const { return m_manufacturer; }
    QString model() const { return m_model; }

    // Only the keys present in the object are applied; info and status messages
    // each carry a part of the reader's description.
    ValidatorBarcode* fromJson(const QJsonObject& object);

signals:
    void activeChanged();
    void enabledChanged();
    void firmwareChanged();
    void versionChanged();
    void manufacturerChanged();
    void modelChanged();

private:
    void setActive(bool active);
    void setEnabled(bool enabled);
    void setFirmware(const QString& firmware);
    void setVersion(const QString& version);
    void setManufacturer(const QString& manufacturer);
    void setModel(const QString& model);

    bool m_active = false;
    bool m_enabled = false;
    QString m_firmware;
    QString m_version;
    QString m_manufacturer;
    QString m_model;
};
