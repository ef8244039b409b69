#include "SAM.h"

namespace {

template <typename T, typename Signal> void update(SAM* sam, T& field, const T& value, Signal signal)
{
    if (field == value)
        return;
    field = value;
    emit(sam->*signal)();
}

} // namespace

SAM::SAM(QObject* parent)
    : QObject(parent)
{
}

SAM::SAM(const QJsonObject& object, QObject* parent)
    : QObject(parent)
{
    fromJson(object);
}

SAM* SAM::fromJson(const QJsonObject& object)
{
    auto text = [&object](const char* key) { return object.value(QLatin1String(key)).toString(); };
    auto flag = [&object](const char* key) { return object.value(QLatin1String(key)).toBool(); };

    update(this, m_slot, object.value(QLatin1String("slot")).toInt(), &SAM::slotChanged);
    update(this, m_enabled, flag("enabled"), &SAM::enabledChanged);
    update(this, m_unlocked, flag("unlocked"), &SAM::unlockedChanged);
    update(this, m_atr, text("atr"), &SAM::atrChanged);
    update(this, m_batch, text("batch"), &SAM::batchChanged);
    update(this, m_mode, text("mode"), &SAM::modeChanged);
    update(this, m_name, text("name"), &SAM::nameChanged);
    // A text naming no real day gives the invalid date; all invalid dates compare equal.
    update(this, m_production, QDate::fromString(text("production"), QStringLiteral("yyyy-MM-dd")),
        &SAM::productionChanged);
    update(this, m_uid, text("uid"), &SAM::uidChanged);
    update(this, m_vendor, text("vendor"), &SAM::vendorChanged);
    update(this, m_version, text("version"), &SAM::versionChanged);
    return this;
}
