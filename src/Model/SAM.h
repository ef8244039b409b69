#pragma once

#include <QDate>
#include <QJsonObject>
#include <QObject>
#include <QString>

// One secure access module in a slot of the card reader.
class SAM : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int slot READ slot NOTIFY slotChanged)
    Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)
    Q_PROPERTY(bool unlocked READ unlocked NOTIFY unlockedChanged)
    Q_PROPERTY(QString atr READ atr NOTIFY atrChanged)
    Q_PROPERTY(QString batch READ batch NOTIFY batchChanged)
    Q_PROPERTY(QString mode READ mode NOTIFY modeChanged)
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(QDate production READ production NOTIFY productionChanged)
    Q_PROPERTY(QString uid READ uid NOTIFY uidChanged)
    Q_PROPERTY(QString vendor READ vendor NOTIFY vendorChanged)
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)
public:
    explicit SAM(QObject* parent = nullptr);
    explicit SAM(const QJsonObject& object, QObject* parent = nullptr);

    int slot() const { return m_slot; }
    bool enabled() const { return m_enabled; }
    bool unlocked() const { return m_unlocked; }
    QString atr() const { return m_atr; }
    QString batch() const { return m_batch; }
    QString mode() const { return m_mode; }
    QString name() const { return m_name; }
    QDate production() const { return m_production; }
    QString uid() const { return m_uid; }
    QString vendor() const { return m_vendor; }
    QString version() const { return m_version; }

    // Every key is read on every update: a missing key resets its property.
    SAM* fromJson(const QJsonObject& object);

signals:
    void slotChanged();
    void enabledChanged();
    void unlockedChanged();
    void atrChanged();
    void batchChanged();
    void modeChanged();
    void nameChanged();
    void productionChanged();
    void uidChanged();
    void vendorChanged();
    void versionChanged();

private:
    int m_slot = 0;
    bool m_enabled = false;
    bool m_unlocked = false;
    QString m_atr;
    QString m_batch;
    QString m_mode;
    QString m_name;
    QDate m_production;
    QString m_uid;
    QString m_vendor;
    QString m_version;
};

Q_DECLARE_METATYPE(SAM*)
