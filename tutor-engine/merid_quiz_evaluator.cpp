#include "tutor-engine/merid_quiz_evaluator.h"

#include <QSet>

#include "base/text.h"

namespace meridcore::MeridQuizEvaluator {

namespace {

// True when `text` begins with `prefix` and the prefix ends on a character boundary, so a
// combining mark after it makes a different character and no match.
bool hasCharacterPrefix(const QString& text, const QString& prefix) {
    if (!text.startsWith(prefix)) return false;
    if (text.size() == prefix.size()) return true;
    return base::text::graphemeBoundaries(text).contains(prefix.size());
}

// `text` without its first `count` characters.
QString droppingCharacters(const QString& text, qsizetype count) {
    const QList<qsizetype> bounds = base::text::graphemeBoundaries(text);
    if (count >= bounds.size()) return {};
    return text.mid(bounds.at(count));
}

}  // namespace

MeridAssessment assessment(const QString& text) {
    static const QString marker = QStringLiteral("EVAL_RESULT:");
    const QStringList lines = base::text::splitLines(text);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = base::text::upper(base::text::trimmed(*it));
        if (!hasCharacterPrefix(line, marker)) continue;
        const QString value = base::text::trimmed(droppingCharacters(line, marker.size()));
        if (value == QStringLiteral("CORRECT")) return MeridAssessment::correct;
        if (value == QStringLiteral("PARTIAL")) return MeridAssessment::partial;
        if (value == QStringLiteral("INCORRECT")) return MeridAssessment::incorrect;
        return MeridAssessment::unassessed;
    }
    return MeridAssessment::unassessed;
}

std::optional<QString> question(const QString& text) {
    static const QStringList prefixes{
        QStringLiteral("Q:"),       QStringLiteral("Q："),    QStringLiteral("Q1:"),    QStringLiteral("Q1："),
        QStringLiteral("Question:"), QStringLiteral("题目："), QStringLiteral("问题："),
    };
    const QString trimmedText = base::text::trimmed(text);
    std::optional<QString> rest;
    for (const QString& prefix : prefixes) {
        if (hasCharacterPrefix(trimmedText, prefix)) {
            rest = droppingCharacters(trimmedText, base::text::graphemeCount(prefix));
            break;
        }
    }
    if (!rest) return std::nullopt;

    QStringList kept;
    for (const QString& line : base::text::splitLines(*rest)) {
        if (isQuestionKindLine(line)) break;
        kept.append(line);
    }
    const QString result = base::text::trimmed(kept.join(QLatin1Char('\n')));
    if (result.isEmpty()) return std::nullopt;
    return base::text::graphemePrefix(result, MeridQuizRecord::maxQuestionLength);
}

bool isQuestionKindLine(const QString& line) {
    return hasCharacterPrefix(base::text::upper(base::text::trimmed(line)), QStringLiteral("Q_TYPE:"));
}

std::optional<QString> questionKind(const QString& text) {
    static const QString marker = QStringLiteral("q_type:");
    static const QStringList kinds{QStringLiteral("recognition"), QStringLiteral("calculation"),
                                   QStringLiteral("application"), QStringLiteral("explanation")};
    for (const QString& rawLine : base::text::splitLines(text)) {
        const QString line = base::text::lower(base::text::trimmed(rawLine));
        if (!hasCharacterPrefix(line, marker)) continue;
        const QString value = base::text::trimmed(droppingCharacters(line, marker.size()));
        if (kinds.contains(value)) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

QString questionIdentity(const QString& question) {
    return base::text::lower(base::text::trimmed(question)).normalized(QString::NormalizationForm_C);
}

MeridEvidenceStatus evidence(const QList<MeridQuizRecord>& records) {
    QList<const MeridQuizRecord*> graded;
    for (const MeridQuizRecord& record : records)
        if (record.assessment != MeridAssessment::unassessed) graded.append(&record);
    if (graded.isEmpty()) return MeridEvidenceStatus::notTested;
    if (graded.last()->assessment != MeridAssessment::correct) return MeridEvidenceStatus::needsReview;

    QSet<QString> correctQuestions;
    for (const MeridQuizRecord* record : graded)
        if (record->assessment == MeridAssessment::correct)
            correctQuestions.insert(questionIdentity(record->question));
    return correctQuestions.size() >= 2 ? MeridEvidenceStatus::repeated : MeridEvidenceStatus::preliminary;
}

}  // namespace meridcore::MeridQuizEvaluator
