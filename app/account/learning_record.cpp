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

void appendString(QByteArray& out, const QString& text) {
    static constexpr char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    const char* const data = utf8.constData();
    const qsizetype size = utf8.size();
    out += '"';
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (!needsEscape(byte)) continue;  // UTF-8 bytes of other characters go out as they are
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
        default:
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    out.append(data + runStart, size - runStart);
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
