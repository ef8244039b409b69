#include "Translation.h"

#include "Config.h"
#include "GuiLog.h"
#include "SettingsKeys.h"

#include <QCoreApplication>
#include <QLocale>
#include <QQmlEngine>
#include <QTranslator>

namespace {

const QString kCatalogue = QStringLiteral(":/qml/translations/Ticora_el_GR.qm");

} // namespace

Translation::Translation(QQmlEngine& engine, Config& config, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_config(config)
    , m_translator(new QTranslator())
{
}

Translation::~Translation()
{
    if (!m_translator->isEmpty())
        QCoreApplication::removeTranslator(m_translator);
    delete m_translator;
}

void Translation::setLanguage(const QString& value)
{
    if (value == m_language)
        return;
    GUI_LOG(qInfo) << "Language changed : " << value;
    if (m_translator->isEmpty()) {
        GUI_LOG(qInfo) << "Loading translation file : " << kCatalogue;
        if (!m_translator->load(kCatalogue)) {
            GUI_LOG(qCritical) << "ERROR: Failed to load translation file";
            return;
        }
    }
    const QLocale locale(value);
    if (locale.language() == QLocale::English) {
        QCoreApplication::removeTranslator(m_translator);
    } else if (!QCoreApplication::installTranslator(m_translator)) {
        GUI_LOG(qCritical) << "ERROR: Failed to install translator";
        return;
    }
    QLocale::setDefault(locale);
    m_language = value;
    m_config.set(manager::keys::Locale, value);
    m_engine.retranslate();
    emit languageChanged();
}
