#include "ValidatorBarcode.h"

ValidatorBarcode::ValidatorBarcode(QObject* parent)
    : QObject(parent)
{
}

ValidatorBarcode* ValidatorBarcode::fromJson(const QJsonObject& object)
{
    if (object.contains(QLatin1String("active")))
        setActive(object.value(QLatin1String("active")).toBool());
    if (object.contains(QLatin1String("enabled")))
        setEnabled(object.value(QLatin1String("enabled")).toBool());
    if (object.contains(QLatin1String("firmware")))
        setFirmware(object.value(QLatin1String("firmware")).toString());
    if (object.contains(QLatin1String("manufacturer")))
        setManufacturer(object.value(QLatin1String("manufacturer")).toString());
    if (object.contains(QLatin1String("model")))
        setModel(object.value(QLatin1String("model")).toString());
    return this;
}

void ValidatorBarcode::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    emit activeChanged();
}

void ValidatorBarcode::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    emit enabledChanged();
}

void ValidatorBarcode::setFirmware(const QString& firmware)
{
    if (firmware == m_firmware)
        return;
    m_firmware = firmware;
    emit firmwareChanged();
}

void ValidatorBarcode::setVersion(const QString& version)
{
    if (version == m_version)
        return;
    m_version = version;
    emit versionChanged();
}

void ValidatorBarcode::setManufacturer(const QString& manufacturer)
{
    if (manufacturer == m_manufacturer)
        return;
    m_manufacturer = manufacturer;
    emit manufacturerChanged();
}

void ValidatorBarcode::setModel(const QString& model)
{
    if (model == m_model)
        return;
    m_model = model;
    emit modelChanged();
}
