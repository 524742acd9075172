#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "base/raw_value.h"

namespace meridcore {

// `concept_` is the kind "concept" (the plain word is a C++ keyword).
enum class MeridLessonSectionKind { intuition, concept_, example, reminder, paragraph };

constexpr auto rawValueTable(MeridLessonSectionKind) {
    using enum MeridLessonSectionKind;
    return base::rawValues<MeridLessonSectionKind>({{intuition, u"intuition"}, {concept_, u"concept"},
        {example, u"example"}, {reminder, u"reminder"}, {paragraph, u"paragraph"}});
}

// One titled (or untitled) section of a lesson reply.
struct MeridLessonSection {
    // Position in the result, from 0.
    int id = 0;
    MeridLessonSectionKind kind = MeridLessonSectionKind::paragraph;
    // Trimmed, never empty.
    QString text;

    bool operator==(const MeridLessonSection&) const = default;
};

}  // namespace meridcore

// Cuts a lesson reply into sections at its bracketed ("【先说人话】…") and Markdown ("## Example")
// titles so that each kind can be drawn differently.
namespace meridcore::MeridLessonFormatter {

// Text before the first title is cut into paragraphs at blank lines; a titled section runs on
// across blank lines until the next title. Empty sections are dropped.
QList<MeridLessonSection> sections(const QString& text);

}  // namespace meridcore::MeridLessonFormatter
