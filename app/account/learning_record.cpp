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

bool needsEscape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\' || byte == '/'; }

void appendUnicodeEscape(QByteArray& out, char16_t unit) {
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(unit >> shift) & 0xF];
}

// The UTF-8 bytes with quotes, backslashes, slashes and control characters escaped; the bytes of
// every other character go out as they are.
void appendEscapedUtf8(QByteArray& out, const QByteArray& utf8) {
    const char* const data = utf8.constData();
    const qsizetype size = utf8.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (!needsEscape(byte)) continue;
        out.append(data + runStart, i - runStart);
        runStart = i + 1;
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: appendUnicodeEscape(out, byte);
        }
    }
    out.append(data + runStart, size - runStart);
}

// A JSON string. UTF-8 cannot hold an unpaired surrogate (it would become "?"), so one is written
// as a \uXXXX escape, which JSON readers give back as that same unit.
void appendString(QByteArray& out, const QString& text) {
    out += '"';
    const QStringView view(text);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < view.size(); ++i) {
        const QChar unit = view.at(i);
        if (!unit.isSurrogate()) continue;
        if (unit.isHighSurrogate() && i + 1 < view.size() && view.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        appendEscapedUtf8(out, view.mid(runStart, i - runStart).toUtf8());
        appendUnicodeEscape(out, unit.unicode());
        runStart = i + 1;
    }
    appendEscapedUtf8(out, view.mid(runStart).toUtf8());
    out += '"';
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
