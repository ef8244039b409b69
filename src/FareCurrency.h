#pragma once

#include <QObject>
#include <QString>

class Config;
namespace manager {
class Clock;
}

// The symbol of the fare system's money. It belongs to where the unit runs, not to the
// language a passenger picked: the "gui/locale" setting follows every language switch,
// so the country of the unit's time zone decides, and the home locale only where the
// zone names no country (UTC, or no zone known).
class FareCurrency : public QObject
{
    Q_OBJECT
public:
    FareCurrency(manager::Clock& clock, Config& config, QObject* parent = nullptr);

    // Asks the clock once, when first needed: the outcome screens are built after the
    // first frame, and timedatectl is a process of its own.
    QString symbol() const;

    // The symbol for a time-zone id (IANA) with the locale name as the fallback.
    static QString symbolFor(const QString& timeZone, const QString& homeLocale);

signals:
    void symbolChanged();

private:
    void update(const QString& timeZone);

    manager::Clock& m_clock;
    Config& m_config;
    mutable bool m_known = false;
    mutable QString m_zone;
    mutable QString m_symbol;
};
