#pragma once

// Real failing writes for tests: a small tmpfs that is filled up, and a folder made immutable. Both
// need the super-user; the mounts are made in a mount namespace of the test process's own.

#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {

// Moves this process into a mount namespace of its own, whose mounts nobody else sees. Call it
// before the process starts a thread (from a static initializer): the threads that exist keep the
// old namespace. False when that is not allowed; the tests that need it skip then.
inline bool enterPrivateMountNamespace() {
    if (QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() != 1) return false;
    return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Mounts an empty tmpfs of `bytes` over the existing `folder`.
inline bool mountTmpfs(const QString& folder, qint64 bytes) {
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                   options.constData()) == 0;
}

inline bool unmount(const QString& folder) { return ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH) == 0; }

// Writes `filler` until its file system is full; whether it is.
inline bool fillUp(const QString& filler) {
    const int fd = ::open(QFile::encodeName(filler).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    const QByteArray block(4096, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
}

// Sets or clears the immutable attribute: nothing in an immutable folder can be made, removed or renamed.
inline bool setImmutable(const QString& path, bool immutable) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

}  // namespace testsupport
