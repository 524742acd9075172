#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Helpers shared by the fuzz targets.
namespace fuzzsupport {

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The bytes read as UTF-8 that may also encode lone surrogates (ED A0 80..ED BF BF), so that the
// fuzzer reaches every UTF-16 string, broken pairs included; a byte that starts no sequence
// becomes U+FFFD.
inline QString text(const uint8_t* data, size_t size) {
    QString out;
    out.reserve(qsizetype(size));
    for (size_t i = 0; i < size;) {
        const uint8_t lead = data[i];
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + size_t(length) <= size;
        for (int k = 1; valid && k < length; ++k) {
            valid = (data[i + k] & 0xC0) == 0x80;
            c = (c << 6) | (data[i + k] & 0x3F);
        }
        if (!valid || c > 0x10FFFF) {
            out += QChar(QChar::ReplacementCharacter);
            ++i;
            continue;
        }
        if (c > 0xFFFF) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        i += size_t(length);
    }
    return out;
}

// Ends the run as a finding: the target broke a promise of the code under test.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char* what) {
    if (!condition) fail(what);
}

}  // namespace fuzzsupport
