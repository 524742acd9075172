// The learning history file over any bytes: it is read or refused as a whole, and what is read is
// written again and reads back the same.
#include "app/account/history_error.h"
#include "app/account/learning_record.h"
#include "fuzz/fuzz_support.h"

using namespace velquin;
using fuzzsupport::require;

namespace {

bool same(const LearningRecord& a, const LearningRecord& b) {
    return a.id == b.id && a.createdAt == b.createdAt && a.mode == b.mode && a.source == b.source &&
           a.answer == b.answer && a.isNote == b.isNote;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QList<LearningRecord> records;
    try {
        records = learning_history::decode(fuzzsupport::bytes(data, size));
    } catch (const base::Error&) {
        return 0;
    }
    QByteArray written;
    try {
        written = learning_history::encode(records);
    } catch (const HistoryError&) {
        return 0;  // a date that JSON cannot hold
    }
    const QList<LearningRecord> again = learning_history::decode(written);
    require(again.size() == records.size(), "every record reads back");
    for (qsizetype i = 0; i < records.size(); ++i) require(same(again[i], records[i]), "a record reads back the same");
    return 0;
}
