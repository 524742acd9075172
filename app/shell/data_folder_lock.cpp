#include "app/shell/data_folder_lock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/files.h"

namespace velquin {

namespace {

// More than a holder ever writes; the rest of a larger file is not read.
constexpr qsizetype kHolderBytes = 4096;
// No host name is longer (HOST_NAME_MAX).
constexpr qsizetype kFieldLength = 64;

const QString kHost = QStringLiteral("host");
const QString kDisplay = QStringLiteral("display");
const QString kPid = QStringLiteral("pid");

// A name from the file as a person or a terminal may be shown it: only what host and display names
// are made of (no control characters, no markup), and not endless.
QString readable(const QJsonValue& value) {
    QString text;
    for (const QChar c : value.toString().left(kFieldLength)) {
        if ((c.unicode() < 0x80 && c.isLetterOrNumber()) || QStringView(u".-_:").contains(c)) text.append(c);
    }
    return text;
}

DataFolderLock::Holder decode(const QByteArray& bytes) {
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    return {readable(object.value(kHost)), readable(object.value(kDisplay)),
            qMax<qint64>(0, object.value(kPid).toInteger())};
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

DataFolderLock::Holder DataFolderLock::Holder::thisProcess() {
    // The program shows on X11, also in a Wayland session (through XWayland).
    const QString x11 = qEnvironmentVariable("DISPLAY");
    return {QSysInfo::machineHostName(), x11.isEmpty() ? qEnvironmentVariable("WAYLAND_DISPLAY") : x11,
            QCoreApplication::applicationPid()};
}

DataFolderLock::DataFolderLock(QString folder) : folder_(std::move(folder)) {}

DataFolderLock::~DataFolderLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

DataFolderLock::Result DataFolderLock::acquire(const Holder& self) {
    using State = Result::State;
    if (descriptor_ >= 0) return {};
    if (folder_.isEmpty() || QDir::isRelativePath(folder_))
        return {State::unavailable, {}, QStringLiteral("there is no data folder")};
    try {
        base::files::ensurePrivateFolder(folder_);
    } catch (const base::FileError& error) {
        return {State::unavailable, {}, error.message()};
    }
    const QByteArray path = QFile::encodeName(QDir(folder_).filePath(fileName));
    const int descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) return {State::unavailable, {}, systemError(errno)};
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;  // from 0 to the end, however long: the whole file
    if (::fcntl(descriptor, F_OFD_SETLK, &lock) != 0) {
        const int error = errno;
        Result result{State::unavailable, {}, systemError(error)};
        if (error == EAGAIN || error == EACCES) {
            QByteArray bytes(kHolderBytes, Qt::Uninitialized);
            const ssize_t size = ::pread(descriptor, bytes.data(), size_t(bytes.size()), 0);
            bytes.truncate(size > 0 ? qsizetype(size) : 0);
            result = {State::inUse, decode(bytes), {}};
        }
        ::close(descriptor);
        return result;
    }
    descriptor_ = descriptor;
    // Written over what an ended holder left; the lock holds whether or not this gets written.
    const QByteArray bytes = QJsonDocument(QJsonObject{{kHost, self.host}, {kDisplay, self.display}, {kPid, self.pid}})
                                 .toJson(QJsonDocument::Compact);
    const bool written = ::pwrite(descriptor, bytes.constData(), size_t(bytes.size()), 0) == bytes.size() &&
                         ::ftruncate(descriptor, bytes.size()) == 0;
    Q_UNUSED(written)
    return {};
}

}  // namespace velquin
