#include "Config.h"

#include "Secrets.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QSettings>
#include <QTimer>

#include <cmath>
#include <optional>

#define CONFIG_LOG(level) level().noquote().nospace() << "[Config] "

namespace {

bool isNumber(const QVariant& v)
{
    switch (v.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// The boolean a text means, as settings files and peers write it ("1", "TRUE",
// "False", "no"...); nothing for any other text.
std::optional<bool> boolFromText(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes") || t == QLatin1String("on"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("no") || t == QLatin1String("off"))
        return false;
    return std::nullopt;
}

// Longest text accepted from the wire for one value; more is certainly not a setting.
constexpr int kMaxTextLength = 64 * 1024;

} // namespace

Config::Config(const QString& filename, const QVariantMap& defaults, QObject* parent)
    : QObject(parent)
    , m_filename(filename)
    , m_settings(defaults)
    , m_defaults(defaults)
    , m_watcher(new QFileSystemWatcher(this))
    , m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    m_retry->setInterval(RetryMillis);
    connect(m_retry, &QTimer::timeout, this, [this] {
        m_retrying = true;
        save();
        m_retrying = false;
    });
    if (!QFileInfo::exists(m_filename)) {
        CONFIG_LOG(qWarning) << "Creating default config file : " << m_filename;
        save();
    }
    keepPrivate();
    load();
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &Config::onFileChanged);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &Config::onDirectoryChanged);
    watch();
}

bool Config::sameValue(const QVariant& stored, const QVariant& incoming)
{
    if (!stored.isValid() || !incoming.isValid())
        return false;
    if (isNumber(stored) && isNumber(incoming))
        return stored.toDouble() == incoming.toDouble();
    if (isNumber(stored) && incoming.userType() == QMetaType::QString) {
        bool ok = false;
        const double d = incoming.toString().trimmed().toDouble(&ok);
        return ok && d == stored.toDouble();
    }
    if (stored.userType() == QMetaType::Bool && incoming.userType() == QMetaType::QString) {
        const std::optional<bool> b = boolFromText(incoming.toString());
        return b && *b == stored.toBool();
    }
    if (stored.userType() == QMetaType::QString && incoming.userType() == QMetaType::Bool) {
        const std::optional<bool> b = boolFromText(stored.toString());
        return b && *b == incoming.toBool();
    }
    QVariant converted = incoming;
    if (!converted.convert(stored.userType()))
        return false;
    return converted == stored;
}

QVariant Config::get(const QString& key) const
{
    if (m_overrides.contains(key))
        return m_overrides.value(key);
    if (m_defaults.contains(key))
        return m_settings.contains(key) ? m_settings.value(key) : m_defaults.value(key);
    return m_settings.value(key);
}

void Config::set(const QString& key, const QVariant& value)
{
    if (m_settings.contains(key) && sameValue(m_settings.value(key), value))
        return;
    m_overrides.remove(key);
    m_settings.insert(key, value);
    emit configChanged(QVariantMap{{key, value}});
    save();
}

QStringList Config::keys() const { return m_settings.keys(); }

void Config::print() const
{
    const QString dashes(60, QLatin1Char('-'));
    CONFIG_LOG(qInfo) << dashes;
    CONFIG_LOG(qInfo) << " SETTINGS (" << m_filename << ")";
    CONFIG_LOG(qInfo) << dashes;
    const QStringList all = keys();
    int width = 0;
    for (const QString& k : all)
        width = qMax(width, k.length());
    for (const QString& k : all) {
        QString value = get(k).toString();
        if (manager::isSecretName(k) && !value.isEmpty())
            value = manager::kSecretMask;
        qInfo().noquote().nospace() << QStringLiteral("[Config]  %1 : %2").arg(k.leftJustified(width), value);
    }
}

void Config::addDefaults(const QVariantMap& map)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        m_defaults.insert(it.key(), it.value());
}

void Config::addOverrides(const QVariantMap& map)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        m_overrides.insert(it.key(), it.value());
}

QJsonObject Config::toJson() const
{
    QMap<QString, QVariantMap> groups;
    for (auto it = m_settings.cbegin(); it != m_settings.cend(); ++it) {
        const int slash = it.key().indexOf(QLatin1Char('/'));
        // A key without a group is what the INI file keeps in its [General] section;
        // a deeper key keeps its whole remainder, so it can never shadow a real key.
        const QString group = slash < 0 ? QStringLiteral("General") : it.key().left(slash);
        const QString name = slash < 0 ? it.key() : it.key().mid(slash + 1);
        groups[group].insert(name, it.value());
    }
    QJsonObject result;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it)
        result.insert(it.key(), QJsonObject::fromVariantMap(it.value()));
    return result;
}

QVariant Config::accepted(const QString& key, const QVariant& value) const
{
    switch (value.userType()) {
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
        break;
    case QMetaType::QString:
        if (value.toString().size() > kMaxTextLength)
            return {};
        break;
    default:
        return {}; // objects, arrays and null are not settings
    }
    if (!m_defaults.contains(key))
        return value;
    // Converted to the default's type when nothing is lost: a number for a text key,
    // 0/1 or "TRUE" for a boolean, "3" for a number. toJson hands out values read
    // from the file as text, so a client that sends them back must be understood.
    const QVariant def = m_defaults.value(key);
    const bool isText = value.userType() == QMetaType::QString;
    if (def.userType() == QMetaType::QString) {
        if (isText)
            return value;
        if (value.userType() == QMetaType::Bool)
            return QString::fromLatin1(value.toBool() ? "true" : "false");
        const double d = value.toDouble();
        if (std::isfinite(d) && std::abs(d) < 9007199254740992.0 && d == std::trunc(d))
            return QString::number(qint64(d));
        return std::isfinite(d) ? QVariant(QString::number(d, 'g', 17)) : QVariant();
    }
    if (def.userType() == QMetaType::Bool) {
        if (value.userType() == QMetaType::Bool)
            return value;
        if (isText) {
            const std::optional<bool> b = boolFromText(value.toString());
            return b ? QVariant(*b) : QVariant();
        }
        const double d = value.toDouble();
        return d == 0.0 || d == 1.0 ? QVariant(d == 1.0) : QVariant();
    }
    if (isNumber(def)) {
        if (value.userType() == QMetaType::Bool)
            return {};
        bool ok = true;
        const double d = isText ? value.toString().trimmed().toDouble(&ok) : value.toDouble();
        // Range first: converting an out-of-range double to an integer is undefined.
        if (!ok || !(d >= -2147483648.0 && d <= 2147483647.0) || d != double(qint64(d)))
            return {};
        return int(d);
    }
    return value;
}

void Config::fromJson(const QJsonObject& object)
{
    QVariantMap flat;
    for (auto g = object.constBegin(); g != object.constEnd(); ++g) {
        if (!g.value().isObject())
            continue;
        const QJsonObject members = g.value().toObject();
        for (auto m = members.constBegin(); m != members.constEnd(); ++m) {
            QString key = g.key() + QLatin1Char('/') + m.key();
            // The way back for keys that toJson put under "General".
            if (g.key() == QLatin1String("General") && !m_settings.contains(key) && m_settings.contains(m.key()))
                key = m.key();
            // Every JSON number is a floating-point number, whatever its text looked like.
            flat.insert(key, m.value().isDouble() ? QVariant(m.value().toDouble()) : m.value().toVariant());
        }
    }
    QVariantMap changes;
    for (auto it = flat.cbegin(); it != flat.cend(); ++it) {
        if (!m_settings.contains(it.key()))
            continue;
        // A secret comes back masked from a peer that round-trips the published form.
        if (manager::isSecretName(it.key()) && it.value() == QVariant(manager::kSecretMask))
            continue;
        if (sameValue(m_settings.value(it.key()), it.value()))
            continue;
        const QVariant value = accepted(it.key(), it.value());
        if (!value.isValid()) {
            const QString text = manager::isSecretName(it.key())
                ? manager::kSecretMask
                : QString::fromUtf8(
                    QJsonDocument::fromVariant(QVariantList { it.value() }).toJson(QJsonDocument::Compact).left(200));
            CONFIG_LOG(qWarning) << "WARN: Ignoring invalid value for " << it.key() << " : " << text;
            continue;
        }
        if (sameValue(m_settings.value(it.key()), value))
            continue;
        m_settings.insert(it.key(), value);
        changes.insert(it.key(), value);
    }
    if (!changes.isEmpty()) {
        save();
        emit configChanged(changes);
    }
}

QVariantMap Config::readFile()
{
    QVariantMap changes;
    const QFileInfo info(m_filename);
    if (info.exists() && (!info.isReadable() || !QFile(m_filename).open(QIODevice::ReadOnly))) {
        CONFIG_LOG(qWarning) << "WARN: Cannot read config file, using defaults : " << m_filename;
        return changes;
    }
    QSettings file(m_filename, QSettings::IniFormat);
    // Hand-edited files are UTF-8; without this the settings class reads Latin-1
    // and a save would store the mangled text.
    file.setIniCodec("UTF-8");
    const QStringList fileKeys = file.allKeys();
    bool known = false;
    for (const QString& key : fileKeys)
        known = known || m_defaults.contains(key);
    if (file.status() == QSettings::FormatError || (info.size() > 0 && !known))
        CONFIG_LOG(qWarning) << "WARN: Config file is damaged, using defaults for what it lacks : " << m_filename;
    for (const QString& key : fileKeys) {
        QVariant value = file.value(key);
        // An unquoted comma makes the settings class read a list; the text is meant.
        if (value.userType() == QMetaType::QStringList)
            value = value.toStringList().join(QLatin1Char(','));
        // The settings class caches what this process wrote and hands it back
        // typed; the file holds text, so take its text form.
        else if (value.userType() == QMetaType::Bool || isNumber(value))
            value = value.toString();
        if (value.userType() != QMetaType::QString) {
            CONFIG_LOG(qWarning) << "WARN: Ignoring unreadable value of " << key;
            continue;
        }
        // A boolean is kept as one, whatever spelling the file uses, so it is shown
        // and published as true or false.
        if (m_defaults.value(key).userType() == QMetaType::Bool) {
            // Text that is no boolean is kept as it is (the file is not rewritten
            // with a guess), but said so.
            const std::optional<bool> b = boolFromText(value.toString());
            if (b)
                value = *b;
            else
                CONFIG_LOG(qWarning) << "WARN: Not a boolean value for " << key << " : " << value.toString().left(200);
        }
        if (m_settings.contains(key) && sameValue(m_settings.value(key), value))
            continue;
        m_settings.insert(key, value);
        changes.insert(key, value);
    }
    return changes;
}

void Config::keepPrivate()
{
    // It holds the broker password and the technician PIN, but a file copied into
    // place by an installer or a technician keeps that copy's mode.
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QFile file(m_filename);
    const QFileDevice::Permissions mode = file.permissions();
    if (!file.exists() || !(mode & others))
        return;
    // The owner's own bits stay: a file made read-only stays read-only.
    const bool tightened = file.setPermissions(mode & ~others);
    const int bits = int(mode);
    const int unixMode = ((bits >> 12) & 7) << 6 | ((bits >> 4) & 7) << 3 | (bits & 7);
    CONFIG_LOG(qWarning) << "WARN: Settings file " << m_filename << " could be read by others (mode 0"
                         << QString::number(unixMode, 8)
                         << (tightened ? "): now owner-only" : "): could not make it owner-only");
}

void Config::load()
{
    const QVariantMap changes = readFile();
    if (!changes.isEmpty())
        emit configChanged(changes);
}

bool Config::save()
{
    unwatch();
    if (!QFileInfo::exists(m_filename)) {
        // It holds the broker password and the technician PIN: owner only, from the
        // start (later writes keep the file's permissions).
        QFile created(m_filename);
        if (created.open(QIODevice::WriteOnly))
            created.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    bool ok = false;
    {
        QSettings file(m_filename, QSettings::IniFormat);
        file.setIniCodec("UTF-8");
        for (auto it = m_settings.cbegin(); it != m_settings.cend(); ++it)
            file.setValue(it.key(), it.value());
        file.sync();
        ok = file.status() == QSettings::NoError;
    }
    if (!ok) {
        // One warning per failed change; the values stay in memory and the retries that
        // fail again stay silent.
        if (!m_retrying)
            CONFIG_LOG(qWarning) << "WARN: Could not write config file : " << m_filename;
        m_retry->start();
    } else if (m_retry->isActive() || m_retrying) {
        m_retry->stop();
        CONFIG_LOG(qInfo) << "Config file written again : " << m_filename;
    }
    watch();
    return ok;
}

void Config::onFileChanged(const QString&)
{
    // Editors replace the file by renaming, which leaves the old watch on the old
    // file: watch the name afresh before reading, so no later write is missed.
    watch();
    const QVariantMap changes = readFile();
    if (!changes.isEmpty()) {
        emit configFileChanged();
        emit configChanged(changes);
    }
}

void Config::onDirectoryChanged(const QString&)
{
    if (QFileInfo::exists(m_filename))
        onFileChanged(m_filename);
}

void Config::unwatch()
{
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
}

void Config::watch()
{
    unwatch();
    if (QFileInfo::exists(m_filename)) {
        if (!m_watcher->addPath(m_filename))
            CONFIG_LOG(qWarning) << "WARN: Cannot watch config file : " << m_filename;
        return;
    }
    // A file that is gone (an editor that deletes before writing) is noticed
    // again through its folder once it reappears.
    const QString folder = QFileInfo(m_filename).absolutePath();
    if (QFileInfo(folder).isDir())
        m_watcher->addPath(folder);
}
