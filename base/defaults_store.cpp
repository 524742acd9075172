#include "base/defaults_store.h"

#include <QDir>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <utility>

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

qint64 nanoseconds(const timespec& time) { return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec; }

}  // namespace

DefaultsStore::FileStamp::FileStamp(const struct ::stat& status)
    : device(status.st_dev),
      inode(status.st_ino),
      size(status.st_size),
      modifiedNs(nanoseconds(status.st_mtim)),
      changedNs(nanoseconds(status.st_ctim)) {}

DefaultsStore::DefaultsStore(QString filePath, QObject* parent) : QObject(parent), filePath_(std::move(filePath)) {
    QMutexLocker lock(&mutex_);
    loadLocked();
    statusChanged_ = false;  // nobody can be listening yet
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
    const QHash<QString, Entry> earlier = std::exchange(entries_, {});
    loaded_.reset();
    loadedFile_.reset();
    const FileStatus before = status_;
    status_.unreadable = false;
    status_.earlierValuesKept = false;
    if (filePath_.isEmpty()) return;
    struct stat status {};
    if (::stat(QFile::encodeName(filePath_).constData(), &status) != 0) {
        statusChanged_ |= before != status_;
        return;
    }
    loaded_.emplace(status);
    QJsonObject root;
    try {
        // Only a regular file is read: a named pipe would block until someone writes to it.
        const int fd = ::open(QFile::encodeName(filePath_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) throw FileError(FileError::Kind::readFailed, filePath_, systemErrorText(errno));
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(fd);
            throw FileError(FileError::Kind::readFailed, filePath_, QStringLiteral("not a file"));
        }
        loadedFile_ = std::make_unique<QFile>();
        loadedFile_->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        // What is read may be a newer file than the one looked at above.
        loaded_.emplace(status);
        root = json::parseObject(files::readCapped(*loadedFile_, filePath_, kMaxFileBytes));
    } catch (const Error&) {
        // Kept, and moved aside by the next write. A spoiled file (a hand edit, a wrong byte) is no
        // change of setting: what was read before stays, for that write to store.
        status_.unreadable = true;
        status_.earlierValuesKept = !earlier.isEmpty();
        entries_ = earlier;
        statusChanged_ |= before != status_;
        return;
    }
    statusChanged_ |= before != status_;
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        const QJsonObject boxed = it->toObject();
        const auto type = typeFromName(boxed.value(QStringLiteral("type")).toString());
        const QJsonValue value = boxed.value(QStringLiteral("value"));
        if (type && valueFits(*type, value)) entries_.insert(it.key(), Entry{*type, value});
    }
    // What was changed here and not written yet stays changed over what another process wrote.
    for (auto it = held_.constBegin(); it != held_.constEnd(); ++it) {
        if (*it)
            entries_.insert(it.key(), **it);
        else
            entries_.remove(it.key());
    }
}

void DefaultsStore::reloadIfChangedLocked() const {
    if (filePath_.isEmpty()) return;
    struct stat status {};
    std::optional<FileStamp> now;
    if (::stat(QFile::encodeName(filePath_).constData(), &status) == 0) now.emplace(status);
    if (now != loaded_) loadLocked();
}

void DefaultsStore::saveLocked() {
    if (filePath_.isEmpty() || holding_) return;
    QJsonObject root;
    for (auto it = entries_.constBegin(); it != entries_.constEnd(); ++it) {
        QJsonObject boxed;
        boxed.insert(QStringLiteral("type"), QLatin1String(typeName(it->type)));
        boxed.insert(QStringLiteral("value"), it->value);
        root.insert(it.key(), boxed);
    }
    const FileStatus before = status_;
    try {
        if (status_.unreadable) {
            const QString moved = files::setAsideUnreadable(filePath_);
            status_.unreadable = false;
            status_.earlierValuesKept = false;
            if (!moved.isEmpty()) status_.setAsidePath = moved;
            // Nothing is at the path now: a failed write below must not read that as a change.
            loaded_.reset();
            loadedFile_.reset();
        }
        files::writeAtomically(filePath_, json::compact(root));
        status_.writeFailure.reset();
        // Read back what is there now: a look at the path alone could take another process's
        // write, made just after this one, for this one.
        loadLocked();
    } catch (const Error& error) {
        status_.writeFailure = error.message();
    }
    statusChanged_ |= before != status_;
}

bool DefaultsStore::takeStatusChangeLocked() const { return std::exchange(statusChanged_, false); }

void DefaultsStore::emitStatusChanged(bool changed) const {
    if (changed) Q_EMIT const_cast<DefaultsStore*>(this)->fileStatusChanged();
}

std::optional<DefaultsStore::Entry> DefaultsStore::entry(const QString& key) const {
    std::optional<Entry> found;
    bool statusChanged = false;
    {
        QMutexLocker lock(&mutex_);
        reloadIfChangedLocked();
        const auto it = entries_.constFind(key);
        if (it != entries_.constEnd()) found = *it;
        statusChanged = takeStatusChangeLocked();
    }
    emitStatusChanged(statusChanged);
    return found;
}

bool DefaultsStore::contains(const QString& key) const { return entry(key).has_value(); }

std::optional<DefaultsStore::Type> DefaultsStore::type(const QString& key) const {
    const auto e = entry(key);
    if (!e) return std::nullopt;
    return e->type;
}

QStringList DefaultsStore::keys() const {
    QStringList list;
    bool statusChanged = false;
    {
        QMutexLocker lock(&mutex_);
        reloadIfChangedLocked();
        list = entries_.keys();
        statusChanged = takeStatusChangeLocked();
    }
    emitStatusChanged(statusChanged);
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
    bool statusChanged = false;
    {
        QMutexLocker lock(&mutex_);
        reloadIfChangedLocked();
        entries_.insert(key, Entry{type, value});
        if (holding_) held_.insert(key, Entry{type, value});
        saveLocked();
        statusChanged = takeStatusChangeLocked();
    }
    Q_EMIT changed(key);
    emitStatusChanged(statusChanged);
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
    bool statusChanged = false;
    {
        QMutexLocker lock(&mutex_);
        reloadIfChangedLocked();
        const bool removed = entries_.remove(key);
        if (removed && holding_) held_.insert(key, std::nullopt);
        if (removed) saveLocked();
        statusChanged = takeStatusChangeLocked();
        if (!removed) {
            lock.unlock();
            emitStatusChanged(statusChanged);
            return;
        }
    }
    Q_EMIT changed(key);
    emitStatusChanged(statusChanged);
}

void DefaultsStore::holdWrites() {
    QMutexLocker lock(&mutex_);
    holding_ = true;
}

void DefaultsStore::releaseWrites() {
    bool statusChanged = false;
    {
        QMutexLocker lock(&mutex_);
        if (!std::exchange(holding_, false)) return;
        if (!held_.isEmpty()) {
            reloadIfChangedLocked();
            held_.clear();
            saveLocked();
        }
        statusChanged = takeStatusChangeLocked();
    }
    emitStatusChanged(statusChanged);
}

bool DefaultsStore::lastWriteFailed() const {
    QMutexLocker lock(&mutex_);
    return status_.writeFailure.has_value();
}

DefaultsStore::FileStatus DefaultsStore::fileStatus() const {
    bool statusChanged = false;
    FileStatus status;
    {
        QMutexLocker lock(&mutex_);
        reloadIfChangedLocked();
        status = status_;
        statusChanged = takeStatusChangeLocked();
    }
    emitStatusChanged(statusChanged);
    return status;
}

}  // namespace base
