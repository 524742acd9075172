#pragma once

#include <QFile>
#include <QString>

#include <sys/stat.h>

namespace testsupport {

// The permission bits of a file or folder (for example 0600), or -1 when it does not exist.
inline int fileMode(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) return -1;
    return int(info.st_mode & 07777);
}

}  // namespace testsupport
