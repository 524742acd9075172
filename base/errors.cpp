#include "base/errors.h"

namespace base {

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
