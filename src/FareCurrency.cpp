#include "FareCurrency.h"

#include "Clock.h"
#include "Config.h"
#include "GuiLog.h"
#include "SettingsKeys.h"

#include <QLocale>
#include <QTimeZone>

FareCurrency::FareCurrency(manager::Clock& clock, Config& config, QObject* parent)
    : QObject(parent), m_clock(clock), m_config(config)
{
    connect(&m_clock, &manager::Clock::timezoneChanged, this, [this] {
        if (m_known)
            update(m_clock.timezone());
    });
    connect(&m_config, &Config::configChanged, this, [this](const QVariantMap& changes) {
        if (m_known && changes.contains(manager::keys::Locale))
            update(m_zone);
    });
}

QString FareCurrency::symbol() const
{
    if (!m_known) {
        m_known = true;
        m_zone = m_clock.timezone();
        if (m_zone.isEmpty())
            m_zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
        m_symbol = symbolFor(m_zone, m_config.get(manager::keys::Locale).toString());
        GUI_LOG(qInfo) << "Fare currency : " << m_symbol << " (time zone " << m_zone << ")";
    }
    return m_symbol;
}

void FareCurrency::update(const QString& timeZone)
{
    m_zone = timeZone;
    const QString symbol = symbolFor(m_zone, m_config.get(manager::keys::Locale).toString());
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    GUI_LOG(qInfo) << "Fare currency : " << m_symbol << " (time zone " << m_zone << ")";
    emit symbolChanged();
}

QString FareCurrency::symbolFor(const QString& timeZone, const QString& homeLocale)
{
    const QLocale home(homeLocale);
    const QTimeZone zone(timeZone.toUtf8());
    const QLocale::Country country = zone.isValid() ? zone.country() : QLocale::AnyCountry;
    if (country == QLocale::AnyCountry)
        return home.currencySymbol();
    // The home language's form where that country has it (en_IE in Dublin), else the
    // country's first locale (el_GR in Athens for an English home).
    const QLocale sameLanguage(home.language(), country);
    if (sameLanguage.country() == country && !sameLanguage.currencySymbol().isEmpty())
        return sameLanguage.currencySymbol();
    const QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, country);
    for (const QLocale& locale : locales)
        if (!locale.currencySymbol().isEmpty())
            return locale.currencySymbol();
    return home.currencySymbol();
}
