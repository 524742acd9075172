// The text of an Office XML part over any bytes: trimmed, non-empty rows, or the importer's error.
#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "tutor-engine/merid_office_importer.h"

using namespace meridcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList rows;
    try {
        rows = MeridOfficeImporter::parseXmlWords(fuzzsupport::bytes(data, size));
    } catch (const MeridArchiveError&) {
        return 0;
    }
    for (const QString& row : rows)
        fuzzsupport::require(!row.isEmpty() && base::text::trimmed(row) == row, "rows are trimmed and not empty");
    return 0;
}
