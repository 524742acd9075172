#include "tutor-engine/teacher_material.h"

#include <QRegularExpression>

#include "base/json.h"
#include "base/text.h"

namespace meridcore {

using Error = TeacherWorkspaceError;

TeacherMaterial::TeacherMaterial(const QString& name, const QString& text, const QString& note) {
    const QString cleaned = base::text::trimmed(text);
    if (cleaned.isEmpty()) throw Error(Error::Case::emptyMaterial);
    if (base::text::graphemeCountExceeds(cleaned, maxTextLength)) throw Error(Error::Case::materialTooLong);
    name_ = base::text::graphemePrefix(name, maxNameLength);
    text_ = cleaned;
    note_ = base::text::graphemePrefix(note, maxNoteLength);
}

QStringList TeacherMaterial::chunks() const { return base::text::graphemeRuns(text_, chunkSize); }

qsizetype TeacherMaterial::count() const { return chunks().size(); }

std::optional<QString> TeacherMaterial::sourceMarker(qsizetype index) const {
    if (index < 0 || index >= count()) return std::nullopt;
    const QStringList labels = sourceLabels(base::text::graphemePrefix(text_, (index + 1) * chunkSize));
    if (labels.isEmpty()) return std::nullopt;
    return labels.last();
}

QStringList TeacherMaterial::sourceLabels(const QString& text) {
    static const QRegularExpression label(QStringLiteral("\\[第 [0-9]+ (?:页|张幻灯片)\\]"));
    QStringList labels;
    auto matches = label.globalMatch(text);
    while (matches.hasNext()) labels.append(matches.next().captured(0));
    return labels;
}

QJsonObject TeacherMaterial::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("name"), name_);
    object.insert(QStringLiteral("text"), text_);
    object.insert(QStringLiteral("note"), note_);
    return object;
}

TeacherMaterial TeacherMaterial::fromJson(const QJsonObject& object) {
    return TeacherMaterial(Unchecked{}, base::json::requireString(object, QStringLiteral("name")),
                           base::json::requireString(object, QStringLiteral("text")),
                           base::json::requireString(object, QStringLiteral("note")));
}

}  // namespace meridcore
