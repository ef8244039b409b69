#include "FleetMetrics.h"

#include <QJsonObject>

namespace {

void family(QByteArray& out, const char* name, const char* type, const char* help)
{
    out += QByteArrayLiteral("# HELP ") + name + ' ' + help + QByteArrayLiteral("\n# TYPE ") + name + ' ' + type + '\n';
}

QByteArray serialLabel(const QString& serial)
{
    return QByteArrayLiteral("serial=\"") + FleetMetrics::escapeLabel(serial) + '"';
}

// alreadyValid -> already_valid, as label values are written.
QByteArray snakeCase(const QString& name)
{
    QByteArray out;
    for (const QChar c : name) {
        if (c.isUpper())
            out += '_';
        out += c.toLower().toLatin1();
    }
    return out;
}

} // namespace

const QStringList& FleetMetrics::states()
{
    static const QStringList names { QStringLiteral("running"), QStringLiteral("technician"), QStringLiteral("stopped"),
        QStringLiteral("unreachable"), QStringLiteral("linked"), QStringLiteral("unknown") };
    return names;
}

QByteArray FleetMetrics::escapeLabel(const QString& value)
{
    QByteArray out;
    for (const char c : value.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray FleetMetrics::text(const FleetView& view, bool brokerConnected)
{
    const auto& units = view.units();
    QByteArray out;
    out.reserve(units.size() * 900 + 1024);

    family(out, "ticora_fleet_units", "gauge", "Units known at the depot broker.");
    out += "ticora_fleet_units " + QByteArray::number(units.size()) + '\n';
    family(out, "ticora_fleet_broker_connected", "gauge", "Whether ticora-fleet is connected to the depot broker.");
    out += QByteArrayLiteral("ticora_fleet_broker_connected ") + (brokerConnected ? '1' : '0') + '\n';

    family(out, "ticora_unit_up", "gauge", "Whether the unit's panel runs (1) or not (0).");
    for (auto it = units.cbegin(); it != units.cend(); ++it) {
        const bool up = it->status == QLatin1String("running") || it->status == QLatin1String("technician");
        out += "ticora_unit_up{" + serialLabel(it.key()) + "} " + (up ? '1' : '0') + '\n';
    }
    family(out, "ticora_unit_state", "gauge", "The unit's state: 1 for the state it is in, 0 for the others.");
    for (auto it = units.cbegin(); it != units.cend(); ++it)
        for (const QString& state : states())
            out += "ticora_unit_state{" + serialLabel(it.key()) + ",state=\"" + state.toLatin1() + "\"} "
                + (it->status == state ? '1' : '0') + '\n';
    family(out, "ticora_validations_total", "counter", "Validation outcomes since the panel started.");
    for (auto it = units.cbegin(); it != units.cend(); ++it) {
        if (it->health.isEmpty())
            continue;
        const QJsonObject counts = it->health.value(QStringLiteral("counts")).toObject();
        for (const QString& result : FleetView::results())
            out += "ticora_validations_total{" + serialLabel(it.key()) + ",result=\"" + snakeCase(result) + "\"} "
                + QByteArray::number(qMax<qint64>(0, counts.value(result).toVariant().toLongLong())) + '\n';
    }
    family(out, "ticora_last_seen_timestamp_seconds", "gauge", "When the unit last spoke, in seconds since the epoch.");
    for (auto it = units.cbegin(); it != units.cend(); ++it)
        if (it->lastSeen.isValid())
            out += "ticora_last_seen_timestamp_seconds{" + serialLabel(it.key()) + "} "
                + QByteArray::number(it->lastSeen.toMSecsSinceEpoch() / 1000.0, 'f', 3) + '\n';
    family(out, "ticora_build_info", "gauge", "The panel's version on the unit; always 1.");
    for (auto it = units.cbegin(); it != units.cend(); ++it)
        if (!it->version.isEmpty())
            out += "ticora_build_info{" + serialLabel(it.key()) + ",version=\"" + escapeLabel(it->version) + "\"} 1\n";
    return out;
}
