#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include "base/json.h"

namespace velquin {

// One entry of the learning history: a study answer (with the text it was asked about) or a saved
// tutor lesson. Records are identified by `id` alone.
struct LearningRecord {
    QUuid id;
    base::Date createdAt;
    // "translate", "explain" or "practice" for a study answer, "MERID" for a tutor lesson.
    QString mode;
    // The source text of a study answer; the course and topic label of a lesson.
    QString source;
    // The answer text; a lesson's transcript.
    QString answer;
    bool isNote = false;
};

// The history file "learning-history.json": one JSON array of record objects, newest first, with
// exactly the members "id" (upper-case UUID), "createdAt" (seconds since 2001-01-01 UTC),
// "mode", "source", "answer" and "isNote", written compact in that order, non-ASCII characters
// as themselves and "/" as "\/".
namespace learning_history {

// A file of more than this many bytes is never decoded, and no writer produces one.
inline constexpr qint64 maxFileBytes = 8000000;

// Throws HistoryError(encodingFailed) for a date that JSON cannot hold (not finite).
QByteArray encode(const QList<LearningRecord>& records);
// Appends one record object to `out`.
void appendRecord(QByteArray& out, const LearningRecord& record);

// Every member is required with its type (a date as a number, "isNote" as a boolean, "id" a UUID
// in either case); other members are ignored. Anything wrong in any record makes the whole text
// undecodable: throws base::JsonDecodeError.
QList<LearningRecord> decode(const QByteArray& bytes);

}  // namespace learning_history
}  // namespace velquin
