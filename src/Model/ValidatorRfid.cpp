#include "ValidatorRfid.h"

#include <QHash>

namespace {

void assign(ValidatorRfid* rfid, QString& field, const QString& value, void (ValidatorRfid::*signal)())
{
    if (field == value)
        return;
    field = value;
    emit(rfid->*signal)();
}

} // namespace

ValidatorRfid::ValidatorRfid(QObject* parent)
    : QObject(parent)
{
}

bool ValidatorRfid::enabled() const
{
    return m_state == QLatin1String("Searching") || m_state == QLatin1String("CardFound");
}

ValidatorRfid* ValidatorRfid::fromJson(const QJsonObject& object)
{
    if (object.contains(QLatin1String("firmware")))
        parseInfo(object);
    if (object.contains(QLatin1String("state")))
        parseStatus(object);
    return this;
}

void ValidatorRfid::parseInfo(const QJsonObject& object)
{
    setFirmware(object.value(QLatin1String("firmware")).toString());
    setModel(object.value(QLatin1String("model")).toString());
    setManufacturer(object.value(QLatin1String("manufacturer")).toString());
    setDeviceUid(object.value(QLatin1String("uid")).toString());
}

void ValidatorRfid::parseStatus(const QJsonObject& object)
{
    setActive(object.value(QLatin1String("active")).toBool());
    setError(object.value(QLatin1String("error")).toString());
    // toInt() gives 0 for anything that is not a whole number within range.
    setState(mapState(object.value(QLatin1String("state")).toInt()));
    setSlots(object.value(QLatin1String("slots")).toArray());
    setSams(object.value(QLatin1String("sams")).toArray());
}

QString ValidatorRfid::mapState(int number)
{
    static const QHash<int, QString> names {
        { 0, QStringLiteral("Init") },
        { 1, QStringLiteral("Idle") },
        { 2, QStringLiteral("Searching") },
        { 3, QStringLiteral("CardFound") },
        { 4, QStringLiteral("Updating") },
        { 5, QStringLiteral("Error") },
    };
    return names.value(number, QStringLiteral("Unknown"));
}

void ValidatorRfid::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    emit activeChanged();
}

void ValidatorRfid::setFirmware(const QString& firmware)
{
    assign(this, m_firmware, firmware, &ValidatorRfid::firmwareChanged);
}

void ValidatorRfid::setVersion(const QString& version)
{
    assign(this, m_version, version, &ValidatorRfid::versionChanged);
}

void ValidatorRfid::setManufacturer(const QString& manufacturer)
{
    assign(this, m_manufacturer, manufacturer, &ValidatorRfid::manufacturerChanged);
}

void ValidatorRfid::setModel(const QString& model) { assign(this, m_model, model, &ValidatorRfid::modelChanged); }

void ValidatorRfid::setDeviceUid(const QString& uid)
{
    assign(this, m_deviceUid, uid, &ValidatorRfid::deviceUidChanged);
}

void ValidatorRfid::setError(const QString& error) { assign(this, m_error, error, &ValidatorRfid::errorChanged); }

void ValidatorRfid::setState(const QString& state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
    emit enabledChanged();
}

void ValidatorRfid::setSlots(const QJsonArray& slotArray)
{
    m_slots.clear();
    for (const QJsonValue& value : slotArray)
        m_slots.append(value.toBool());
    emit numberOfSlotsChanged();
}

void ValidatorRfid::setSams(const QJsonArray& samArray)
{
    // QML bindings or a caller may still hold the old pointers during this
    // emission; they go once control is back in the event loop.
    for (SAM* sam : qAsConst(m_sams))
        sam->deleteLater();
    m_sams.clear();
    for (const QJsonValue& value : samArray)
        m_sams.append(new SAM(value.toObject(), this));
    emit samChanged();
}
