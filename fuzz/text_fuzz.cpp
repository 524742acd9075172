// The text helpers over any UTF-16 string: the grapheme walk's boundaries are ordered, never split a
// surrogate pair, do not depend on the text around a cluster or on the window the walk reads, and
// every cut, run and count agrees with them.
#include <algorithm>

#include "base/text.h"
#include "fuzz/fuzz_support.h"

using namespace base::text;
using fuzzsupport::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzzsupport::text(data, size);

    const QList<qsizetype> bounds = graphemeBoundaries(text);
    const qsizetype count = graphemeCount(text);
    require(bounds.first() == 0 && (text.isEmpty() ? bounds.size() == 1 : bounds.last() == text.size()),
            "boundaries span the text");
    require(bounds.size() == count + 1, "one boundary after every character");
    for (qsizetype i = 1; i < bounds.size(); ++i) {
        require(bounds[i] > bounds[i - 1], "boundaries increase");
        const qsizetype b = bounds[i];
        require(!(b < text.size() && text.at(b).isLowSurrogate() && text.at(b - 1).isHighSurrogate()),
                "no boundary inside a surrogate pair");
    }

    // Counting does not depend on what surrounds a text: the clusters counted one by one sum to the count.
    qsizetype clusterCounts = 0;
    qsizetype longest = 0;
    for (qsizetype i = 1; i < bounds.size(); ++i) {
        clusterCounts += graphemeCount(text.mid(bounds[i - 1], bounds[i] - bounds[i - 1]));
        longest = std::max(longest, bounds[i] - bounds[i - 1]);
    }
    require(clusterCounts == count, "the count is the sum of the clusters' counts");
    for (const qsizetype extra : {1, 2, 5})
        require(base::text::detail::graphemeBoundariesInWindows(text, longest + extra) == bounds,
                "a walk in windows longer than every cluster finds the same boundaries");

    require(!graphemeCountExceeds(text, count) && graphemeCountExceeds(text, count - 1), "count against a limit");
    const qsizetype half = count / 2;
    require(graphemePrefix(text, half) == text.left(bounds[half]), "prefix ends on a boundary");
    require(graphemeSuffix(text, count - half) == text.mid(bounds[half]), "suffix starts on a boundary");
    require(graphemeSlice(text, half, 1) == text.mid(bounds[half], count > half ? bounds[half + 1] - bounds[half] : 0),
            "slice of one character");
    for (const qsizetype runLength : {1, 3}) {
        const QStringList runs = graphemeRuns(text, runLength);
        require(runs.join(QString()) == text, "runs cover the text");
        require(runs.size() == (count + runLength - 1) / runLength, "run count");
    }

    qsizetype newlines = 0;
    for (const QChar c : text) newlines += isNewline(c.unicode()) ? 1 : 0;
    require(splitLines(text).size() == newlines + 1, "one line more than line breaks");
    const QString clean = trimmed(text);
    require(trimmed(clean) == clean && trimSpacesAndTabs(trimSpacesAndTabs(text)) == trimSpacesAndTabs(text),
            "trimming twice changes nothing");
    containsIgnoringCase(upper(text), lower(text));
    return 0;
}
