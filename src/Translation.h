#pragma once

#include <QObject>
#include <QString>

class Config;
class QQmlEngine;
class QTranslator;

// The language of the window: the Greek catalogue installed or removed, the default
// locale, the "gui/locale" setting and every QML text read again.
class Translation : public QObject
{
    Q_OBJECT
public:
    Translation(QQmlEngine& engine, Config& config, QObject* parent = nullptr);
    ~Translation() override;

    QString language() const { return m_language; }
    // An English locale removes the catalogue, any other installs it; nothing
    // changes when the catalogue cannot be loaded or installed.
    void setLanguage(const QString& value);

signals:
    void languageChanged();

private:
    QQmlEngine& m_engine;
    Config& m_config;
    QTranslator* m_translator;
    QString m_language;
};
