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

}  // namespace base
