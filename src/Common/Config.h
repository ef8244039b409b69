#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class QFileSystemWatcher;
class QTimer;

// The settings store: the settings file's values over the built-in defaults, with
// command-line overrides on top. Watches the file for edits made by other programs
// and converts itself to and from the nested JSON form used on the wire.
class Config : public QObject
{
    Q_OBJECT
public:
    Config(const QString& filename, const QVariantMap& defaults, QObject* parent = nullptr);

    QString filename() const { return m_filename; }
    QVariantMap defaults() const { return m_defaults; }

    QVariant get(const QString& key) const;
    void set(const QString& key, const QVariant& value);
    QStringList keys() const;
    void print() const;
    void addDefaults(const QVariantMap& map);
    void addOverrides(const QVariantMap& map);
    QJsonObject toJson() const;
    void fromJson(const QJsonObject& object);
    void load();
    // False when the file could not be written; it is then written again every
    // RetryMillis until that works, the values staying in memory meanwhile.
    bool save();
    static constexpr int RetryMillis = 5000;

    // True when text read from the file or JSON means the same as the stored value
    // (the incoming value converted to the stored value's type; numbers by value).
    static bool sameValue(const QVariant& stored, const QVariant& incoming);

signals:
    void configChanged(QVariantMap changes);
    void configFileChanged();

public slots:
    void onFileChanged(const QString& path);
    void onDirectoryChanged(const QString& path);

private:
    // Takes the file's permissions for group and others away, with one warning.
    void keepPrivate();
    // Reads every key of the file; stores and returns those that differ.
    QVariantMap readFile();
    // Watches the file, or its folder while the file does not exist.
    void watch();
    void unwatch();
    // A value from outside converted to the type of the key's default, or invalid
    // when it cannot replace the stored one without loss.
    QVariant accepted(const QString& key, const QVariant& value) const;

    QString m_filename;
    QVariantMap m_settings;
    QVariantMap m_defaults;
    QVariantMap m_overrides;
    QFileSystemWatcher* m_watcher;
    QTimer* m_retry;
    bool m_retrying = false;
};
