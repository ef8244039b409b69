#pragma once

#include "SAM.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

// The card reader as the validator service reports it: its description (info),
// its reading state, its SAM slots and the SAMs in them (status).
class ValidatorRfid : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool active READ active NOTIFY activeChanged)
    Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)
    Q_PROPERTY(int numberOfSlots READ numberOfSlots NOTIFY numberOfSlotsChanged)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(QString firmware READ firmware NOTIFY firmwareChanged)
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)
    Q_PROPERTY(QString manufacturer READ manufacturer NOTIFY manufacturerChanged)
    Q_PROPERTY(QString model READ model NOTIFY modelChanged)
    Q_PROPERTY(QString deviceUid READ deviceUid NOTIFY deviceUidChanged)
    Q_PROPERTY(SAM* sam READ sam NOTIFY samChanged)
public:
    explicit ValidatorRfid(QObject* parent = nullptr);

    bool active() const { return m_active; }
    // True while the reader is reading.
    bool enabled() const;
    int numberOfSlots() const { return m_slots.size(); }
    QString state() const { return m_state; }
    QString error() const { return m_error; }
    QString firmware() const { return m_firmware; }
    QString version() const { return m_version; }
    QString manufacturer() const { return m_manufacturer; }
    QString model() const { return m_model; }
    QString deviceUid() const { return m_deviceUid; }
    QList<bool> slotList() const { return m_slots; }
    // The first SAM, or null. Replaced SAMs stay alive until control returns to
    // the event loop, so a pointer read before an update is safe until then.
    SAM* sam() const { return m_sams.isEmpty() ? nullptr : m_sams.first(); }

    // An object with "firmware" is an info report, one with "state" a status
    // report; one object may be both.
    ValidatorRfid* fromJson(const QJsonObject& object);

signals:
    void activeChanged();
    void enabledChanged();
    void numberOfSlotsChanged();
    void stateChanged();
    void errorChanged();
    void firmwareChanged();
    void versionChanged();
    void manufacturerChanged();
    void modelChanged();
    void deviceUidChanged();
    void samChanged();

private:
    void setActive(bool active);
    void setFirmware(const QString& firmware);
    void setVersion(const QString& version);
    void setManufacturer(const QString& manufacturer);
    void setModel(const QString& model);
    void setDeviceUid(const QString& uid);
    void setError(const QString& error);
    void setState(const QString& state);
    void setSlots(const QJsonArray& slotArray);
    void setSams(const QJsonArray& samArray);
    void parseInfo(const QJsonObject& object);
    void parseStatus(const QJsonObject& object);
    static QString mapState(int number);

    bool m_active = false;
    QString m_firmware;
    QString m_version;
    QString m_manufacturer;
    QString m_model;
    QString m_deviceUid;
    QString m_error;
    QString m_state;
    QList<bool> m_slots;
    QList<SAM*> m_sams;
};
