#include "base/defaults_store.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>

#include "base/files.h"

namespace base {

namespace {

// Files are small; a larger one is not ours.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

const char* typeName(DefaultsStore::Type type) {
    switch (type) {
    case DefaultsStore::Type::boolean: return "bool";
    case DefaultsStore::Type::integer: return "int";
    case DefaultsStore::Type::real: return "double";
    case DefaultsStore::Type::string: return "string";
    case DefaultsStore::Type::date: return "date";
    case DefaultsStore::Type::array: return "array";
    case DefaultsStore::Type::dictionary: return "dictionary";
    }
    return "";
}

std::optional<DefaultsStore::Type> typeFromName(const QString& name) {
    using T = DefaultsStore::Type;
    for (T t : {T::boolean, T::integer, T::real, T::string, T::date, T::array, T::dictionary})
        if (name == QLatin1String(typeName(t))) return t;
    return std::nullopt;
}

// A JSON number that a qint64 holds exactly: no fraction, within range.
bool isWholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) return false;
    const double number = value.toDouble();
    return std::trunc(number) == number && number >= -0x1p63 && number < 0x1p63;
}

bool valueFits(DefaultsStore::Type type, const QJsonValue& value) {
    switch (type) {
    case DefaultsStore::Type::boolean: return value.isBool();
    case DefaultsStore::Type::integer: return isWholeNumber(value);
    case DefaultsStore::Type::real:
    case DefaultsStore::Type::date: return value.isDouble();
    case DefaultsStore::Type::string: return value.isString();
    case DefaultsStore::Type::array: return value.isArray();
    case DefaultsStore::Type::dictionary: return value.isObject();
    }
    return false;
}

}  // namespace

DefaultsStore::DefaultsStore(QString filePath, QObject* parent) : QObject(parent), filePath_(std::move(filePath)) {
    QMutexLocker lock(&mutex_);
    loadLocked();
}

DefaultsStore& DefaultsStore::standard() {
    static DefaultsStore* store = [] {
        QString path = qEnvironmentVariable("ORVEL_DEFAULTS_FILE");
        if (path.isEmpty()) {
            const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
            // Without a home folder the location may be empty or relative: keep settings in memory.
            if (!config.isEmpty() && !QDir::isRelativePath(config))
                path = config + QStringLiteral("/com.orvel.formac/defaults.json");
        }
        return new DefaultsStore(path);
    }();
    return *store;
}

void DefaultsStore::loadLocked() const {
    entries_.clear();
    loadedSize_ = -1;
    loadedModified_ = {};
    if (filePath_.isEmpty()) return;
    const QFileInfo info(filePath_);
    if (!info.exists()) return;
    loadedSize_ = info.size();
    loadedModified_ = info.lastModified();
    QJsonObject root;
    try {
        root = json::parseObject(files::readCapped(filePath_, kMaxFileBytes));
    } catch (const Error&) {
        return;  // an unreadable file reads as empty; the next write replaces it
    }
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        const QJsonObject boxed = it->toObject();
        const auto type = typeFromName(boxed.value(QStringLiteral("type")).toString());
        const QJsonValue value = boxed.value(QStringLiteral("value"));
        if (type && valueFits(*type, value)) entries_.insert(it.key(), Entry{*type, value});
    }
}

void DefaultsStore::reloadIfChangedLocked() const {
    if (filePath_.isEmpty()) return;
    const QFileInfo info(filePath_);
    const qint64 size = info.exists() ? info.size() : -1;
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    if (size != loadedSize_ || modified != loadedModified_) loadLocked();
}

void DefaultsStore::saveLocked() {
    if (filePath_.isEmpty()) return;
    QJsonObject root;
    for (auto it = entries_.constBegin(); it != entries_.constEnd(); ++it) {
        QJsonObject boxed;
        boxed.insert(QStringLiteral("type"), QLatin1String(typeName(it->type)));
        boxed.insert(QStringLiteral("value"), it->value);
        root.insert(it.key(), boxed);
    }
    try {
        files::writeAtomically(filePath_, json::compact(root));
        lastWriteFailed_ = false;
        const QFileInfo info(filePath_);
        loadedSize_ = info.size();
        loadedModified_ = info.lastModified();
    } catch (const Error&) {
        lastWriteFailed_ = true;
    }
}

std::optional<DefaultsStore::Entry> DefaultsStore::entry(const QString& key) const {
    QMutexLocker lock(&mutex_);
    reloadIfChangedLocked();
    const auto it = entries_.constFind(key);
    if (it == entries_.constEnd()) return std::nullopt;
    return *it;
}

bool DefaultsStore::contains(const QString& key) const { return entry(key).has_value(); }

std::optional<DefaultsStore::Type> DefaultsStore::type(const QString& key) const {
    const auto e = entry(key);
    if (!e) return std::nullopt;
    return e->type;
}

QStringList DefaultsStore::keys() const {
    QMutexLocker lock(&mutex_);
    reloadIfChangedLocked();
    QStringList list = entries_.keys();
    list.sort();
    return list;
}

std::optional<bool> DefaultsStore::boolValue(const QString& key) const {
    const auto e = entry(key);
    if (!e || e->type != Type::boolean) return std::nullopt;
    return e->value.toBool();
}

std::optional<qint64> DefaultsStore::integerValue(const QString& key) const {
    const auto e = entry(key);
    if (!e || e->type != Type::integer) return std::nullopt;
    return e->value.toInteger();
}

std::optional<double> DefaultsStore::doubleValue(const QString& key) const {
    const auto e = entry(key);
    if (!e || (e->type != Type::real && e->type != Type::integer)) return std::nullopt;
    return e->value.toDouble();
}

std::optional<QString> DefaultsStore::stringValue(const QString& key) const {
    const auto e = entry(key);
    if (!e || e->type != Type::string) return std::nullopt;
    return e->value.toString();
}

std::optional<Date> DefaultsStore::dateValue(const QString& key) const {
    const auto e = entry(key);
    if (!e || e->type != Type::date) return std::nullopt;
    return Date{e->value.toDouble()};
}

std::optional<QJsonArray> DefaultsStore::arrayValue(const QString& key) const {
    const auto e = entry(key);
    if (!e || e->type != Type::array) return std::nullopt;
    return e->value.toArray();
}

std::optional<QJsonObject> DefaultsStore::dictionaryValue(const QString& key) const {
    const auto e = entry(key);
    if (!e || e->type != Type::dictionary) return std::nullopt;
    return e->value.toObject();
}

void DefaultsStore::set(const QString& key, Type type, const QJsonValue& value) {
    {
        QMutexLocker lock(&mutex_);
        reloadIfChangedLocked();
        entries_.insert(key, Entry{type, value});
        saveLocked();
    }
    Q_EMIT changed(key);
}

void DefaultsStore::setBool(const QString& key, bool value) { set(key, Type::boolean, value); }
void DefaultsStore::setInteger(const QString& key, qint64 value) { set(key, Type::integer, value); }
void DefaultsStore::setDouble(const QString& key, double value) { set(key, Type::real, value); }
void DefaultsStore::setString(const QString& key, const QString& value) { set(key, Type::string, value); }
void DefaultsStore::setDate(const QString& key, const Date& value) {
    set(key, Type::date, value.secondsSinceReference);
}
void DefaultsStore::setArray(const QString& key, const QJsonArray& value) { set(key, Type::array, value); }
void DefaultsStore::setDictionary(const QString& key, const QJsonObject& value) { set(key, Type::dictionary, value); }

void DefaultsStore::remove(const QString& key) {
    {
        QMutexLocker lock(&mutex_);
        reloadIfChangedLocked();
        if (!entries_.remove(key)) return;
        saveLocked();
    }
    Q_EMIT changed(key);
}

bool DefaultsStore::lastWriteFailed() const {
    QMutexLocker lock(&mutex_);
    return lastWriteFailed_;
}

}  // namespace base
