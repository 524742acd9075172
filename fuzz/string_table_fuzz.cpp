// The string table's lookup over any text, in English and French: the table, the anchored rules
// for texts with a variable part and the message behind a full-width colon, under the sanitizers
// and libFuzzer's time limit (a rule that backtracks without end is a finding).
#include "app/shell/ui_strings.h"
#include "fuzz/fuzz_support.h"

using namespace velquin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool loaded = !UIStrings::english().isEmpty() && !UIStrings::french().isEmpty();
    fuzzsupport::require(loaded, "the string table is built in");
    const QString source = fuzzsupport::text(data, size);
    UIStrings::localize(source, UIStrings::english(), InterfaceLanguage::english);
    UIStrings::localize(source, UIStrings::french(), InterfaceLanguage::french);
    return 0;
}
