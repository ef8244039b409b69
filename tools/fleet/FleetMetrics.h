#pragma once

#include "FleetView.h"

#include <QByteArray>

// The fleet in Prometheus' text exposition format: one family per figure, a label per
// unit (serial) and per what varies (state, result, version).
class FleetMetrics
{
public:
    static const QStringList& states();
    static QByteArray text(const FleetView& view, bool brokerConnected);
    // A label value with backslash, double quote and line feed escaped.
    static QByteArray escapeLabel(const QString& value);
};
