#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

// The five IPv4 settings of one interface. Only keys that were ever set to a
// non-empty text are held, so the map compares equal to what a service sent.
class IPv4 : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString address READ address WRITE setAddress NOTIFY addressChanged)
    Q_PROPERTY(QString gateway READ gateway WRITE setGateway NOTIFY gatewayChanged)
    Q_PROPERTY(QString mask READ mask WRITE setMask NOTIFY maskChanged)
    Q_PROPERTY(QString dns0 READ dns0 WRITE setDns0 NOTIFY dns0Changed)
    Q_PROPERTY(QString dns1 READ dns1 WRITE setDns1 NOTIFY dns1Changed)
public:
    explicit IPv4(QObject* parent = nullptr);

    QString address() const { return field(AddressKey); }
    QString gateway() const { return field(GatewayKey); }
    QString mask() const { return field(NetmaskKey); }
    QString dns0() const { return field(Dns0Key); }
    QString dns1() const { return field(Dns1Key); }

    void setAddress(const QString& value);
    void setGateway(const QString& value);
    void setMask(const QString& value);
    void setDns0(const QString& value);
    void setDns1(const QString& value);

    Q_INVOKABLE QVariantMap toMap() const { return m_map; }
    // Sets the five fields from a map, each emitting its own signal on a real change;
    // other keys are not kept.
    Q_INVOKABLE void fromMap(const QVariantMap& map);

    // A value that came from JSON as text; anything else (number, object, missing)
    // reads as the empty string.
    static QString textOf(const QVariant& value);

    static const QString AddressKey;
    static const QString NetmaskKey;
    static const QString GatewayKey;
    static const QString Dns0Key;
    static const QString Dns1Key;

signals:
    void addressChanged();
    void maskChanged();
    void gatewayChanged();
    void dns0Changed();
    void dns1Changed();

private:
    QString field(const QString& key) const { return m_map.value(key).toString(); }
    void setField(const QString& key, const QString& value, void (IPv4::*changed)());

    QVariantMap m_map;
};
