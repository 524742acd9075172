#include "app/account/learning_record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>

#include <cmath>

#include "app/account/history_error.h"

namespace velquin::learning_history {

namespace {

// A JSON string in UTF-8, written in one pass: quotes, backslashes, slashes and control characters
// escaped, every other character as itself. UTF-8 has no form for an unpaired surrogate (a converter
// writes "?"), so one is written as a \uXXXX escape, which JSON readers give back as that same unit.
void appendString(QByteArray& out, QStringView text) {
    static constexpr char hex[] = "0123456789abcdef";
    const qsizetype start = out.size();
    out.resize(start + 2 + 6 * text.size());  // six bytes (an escape) is the longest form of one unit
    char* p = out.data() + start;
    auto escape = [&p](char16_t unit) {
        *p++ = '\\';
        *p++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4) *p++ = hex[(unit >> shift) & 0xF];
    };
    auto shortEscape = [&p](char c) {
        *p++ = '\\';
        *p++ = c;
    };
    *p++ = '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            switch (unit) {
            case '"': shortEscape('"'); break;
            case '\\': shortEscape('\\'); break;
            case '/': shortEscape('/'); break;
            case '\b': shortEscape('b'); break;
            case '\f': shortEscape('f'); break;
            case '\n': shortEscape('n'); break;
            case '\r': shortEscape('r'); break;
            case '\t': shortEscape('t'); break;
            default:
                if (unit < 0x20)
                    escape(unit);
                else
                    *p++ = char(unit);
            }
        } else if (unit < 0x800) {
            *p++ = char(0xC0 | (unit >> 6));
            *p++ = char(0x80 | (unit & 0x3F));
        } else if (!QChar::isSurrogate(unit)) {
            *p++ = char(0xE0 | (unit >> 12));
            *p++ = char(0x80 | ((unit >> 6) & 0x3F));
            *p++ = char(0x80 | (unit & 0x3F));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t c = QChar::surrogateToUcs4(unit, text[++i].unicode());
            *p++ = char(0xF0 | (c >> 18));
            *p++ = char(0x80 | ((c >> 12) & 0x3F));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        } else {
            escape(unit);
        }
    }
    *p++ = '"';
    out.resize(p - out.constData());
}

// The shortest text that reads back as the same double, without an exponent from 1e-4 up to 2^53
// ("739000000", not "7.39e+08"), as other writers of this file write their dates.
QByteArray numberText(double value) {
    const double magnitude = std::fabs(value);
    const bool plain = magnitude >= 1e-4 && magnitude < 9007199254740992.0;
    return QByteArray::number(value, plain ? 'f' : 'g', QLocale::FloatingPointShortest);
}

void appendMember(QByteArray& out, const char* key) {
    out += '"';
    out += key;
    out += "\":";
}

}  // namespace

void appendRecord(QByteArray& out, const LearningRecord& record) {
    const double seconds = record.createdAt.secondsSinceReference;
    if (!std::isfinite(seconds)) throw HistoryError(HistoryError::Kind::encodingFailed);
    out += '{';
    appendMember(out, "id");
    appendString(out, base::json::uuidString(record.id));
    out += ',';
    appendMember(out, "createdAt");
    out += numberText(seconds);
    out += ',';
    appendMember(out, "mode");
    appendString(out, record.mode);
    out += ',';
    appendMember(out, "source");
    appendString(out, record.source);
    out += ',';
    appendMember(out, "answer");
    appendString(out, record.answer);
    out += ',';
    appendMember(out, "isNote");
    out += record.isNote ? "true" : "false";
    out += '}';
}

QByteArray encode(const QList<LearningRecord>& records) {
    qsizetype estimate = 2;
    for (const LearningRecord& record : records)
        estimate += 120 + 3 * (record.mode.size() + record.source.size() + record.answer.size());
    QByteArray out;
    out.reserve(estimate);
    out += '[';
    bool first = true;
    for (const LearningRecord& record : records) {
        if (!first) out += ',';
        first = false;
        appendRecord(out, record);
    }
    out += ']';
    return out;
}

QList<LearningRecord> decode(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw base::JsonDecodeError(QStringLiteral("not JSON: ") + error.errorString());
    if (!document.isArray()) throw base::JsonDecodeError(QStringLiteral("the history is not a JSON array"));
    const QJsonArray array = document.array();
    QList<LearningRecord> records;
    records.reserve(array.size());
    for (const QJsonValue& value : array) {
        if (!value.isObject()) throw base::JsonDecodeError(QStringLiteral("a record is not a JSON object"));
        const QJsonObject object = value.toObject();
        records.append(LearningRecord{
            base::json::requireUuid(object, QStringLiteral("id")),
            base::json::requireDate(object, QStringLiteral("createdAt")),
            base::json::requireString(object, QStringLiteral("mode")),
            base::json::requireString(object, QStringLiteral("source")),
            base::json::requireString(object, QStringLiteral("answer")),
            base::json::requireBool(object, QStringLiteral("isNote")),
        });
    }
    return records;
}

}  // namespace velquin::learning_history
