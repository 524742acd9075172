#include "base/errors.h"

#include <cerrno>
#include <cstring>

namespace base {

QString systemErrorText(int errorNumber) {
    switch (errorNumber) {
    case ENOENT: return QStringLiteral("文件或文件夹不存在");
    case EACCES:
    case EPERM: return QStringLiteral("没有访问权限");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("磁盘空间不足");
    case EROFS: return QStringLiteral("文件系统为只读");
    case EFBIG: return QStringLiteral("文件过大");
    case EISDIR: return QStringLiteral("这是一个文件夹");
    case ENOTDIR: return QStringLiteral("路径中有一项不是文件夹");
    case EEXIST: return QStringLiteral("文件已存在");
    case ENAMETOOLONG: return QStringLiteral("文件名过长");
    case EMFILE:
    case ENFILE: return QStringLiteral("打开的文件过多");
    case EIO: return QStringLiteral("读写设备时出错");
    case ENOMEM: return QStringLiteral("内存不足");
    case ETXTBSY:
    case EBUSY: return QStringLiteral("文件正被使用");
    case ENOEXEC: return QStringLiteral("不是可执行的程序");
    default: return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}

bool isInterfaceText(const QString& detail) {
    // The interface's own texts are written in Chinese; the system's words for the rare failures
    // above come in the C or the user's locale.
    for (const QChar c : detail)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) return true;
    return false;
}

const char* Error::what() const noexcept {
    try {
        what_ = message().toUtf8();
    } catch (...) {
        return "error";
    }
    return what_.constData();
}

QString messageOf(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        return error.message();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QString();
    }
}

}  // namespace base
