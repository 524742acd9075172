#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

#include "base/defaults_store.h"
#include "base/errors.h"
#include "base/raw_value.h"

// The study vocabulary shared by the whole program: what the user asks for, the language of the
// answer, the model's reasoning setting, the one-time hosted profile, the rule for a source text,
// the errors of the study flow and the fixed instruction text per mode and language.
//
// The enumerations have raw values (base/raw_value.h) and `QString title(E)`, the name shown to the
// user; StudyMode also has symbol(StudyMode) and actionTitle(StudyMode). They hash with std::hash
// and qHash.
namespace tamsel {

enum class StudyMode { translate, explain, practice };
enum class AnswerLanguage { simplifiedChinese, traditionalChinese, english, french };
enum class ReasoningEffort { automatic, none, low };

// Hashing for QHash and QSet keys (std::hash works on the enumerations as they are).
inline size_t qHash(StudyMode value, size_t seed = 0) noexcept { return ::qHash(int(value), seed); }
inline size_t qHash(AnswerLanguage value, size_t seed = 0) noexcept { return ::qHash(int(value), seed); }
inline size_t qHash(ReasoningEffort value, size_t seed = 0) noexcept { return ::qHash(int(value), seed); }

constexpr auto rawValueTable(StudyMode) {
    using enum StudyMode;
    return base::rawValues<StudyMode>({{translate, u"translate"}, {explain, u"explain"}, {practice, u"practice"}});
}

QString title(StudyMode mode);
// The name of the system symbol shown beside the mode.
QString symbol(StudyMode mode);
// The label of the send button.
QString actionTitle(StudyMode mode);

constexpr auto rawValueTable(AnswerLanguage) {
    using enum AnswerLanguage;
    return base::rawValues<AnswerLanguage>({{simplifiedChinese, u"simplifiedChinese"},
        {traditionalChinese, u"traditionalChinese"}, {english, u"english"}, {french, u"french"}});
}

QString title(AnswerLanguage language);

constexpr auto rawValueTable(ReasoningEffort) {
    using enum ReasoningEffort;
    return base::rawValues<ReasoningEffort>({{automatic, u"automatic"}, {none, u"none"}, {low, u"low"}});
}

QString title(ReasoningEffort effort);

// The rule for a pasted, typed or imported text.
struct SourceText {
    // The most user-perceived characters one source text may hold.
    static constexpr qsizetype limit = 20000;

    // The text trimmed of white space and line breaks; throws StudyError emptyInput or inputTooLong.
    static QString validated(const QString& text);
};

// An error of the study flow. `message()` is the text shown to the user.
class StudyError : public base::Error {
public:
    enum class Case {
        http,
        emptyInput,
        inputTooLong,
        missingKey,
        invalidKey,
        missingModel,
        invalidOutputLimit,
        invalidResponse,
        noText,
        incompleteWithoutText,
        modelFailure,
    };

    // Any case but `http`; use StudyError::http(status) for that one.
    explicit StudyError(Case errorCase);
    static StudyError http(int status);

    Case errorCase() const { return case_; }
    // The HTTP status of an `http` error, 0 for every other case.
    int status() const { return status_; }

    QString message() const override;

    bool operator==(const StudyError& other) const {
        return case_ == other.case_ && status_ == other.status_;
    }

private:
    StudyError(Case errorCase, int status) : case_(errorCase), status_(status) {}

    Case case_;
    int status_ = 0;
};

// The default profile of the hosted service, written once per defaults store.
struct BudgetProfile {
    static inline const QString versionKey = QStringLiteral("orvelHostedProfileVersion");

    // Writes "modelID", "maxOutputTokens", "reasoningEffort" and, last, the version marker, unless
    // the marker already holds 1 or more. Overwrites the user's earlier values this one time.
    static void applyOnce(base::DefaultsStore& store = base::DefaultsStore::standard());
};

// A fixed English instruction text for a model, per mode and answer language.
struct StudyPrompt {
    static QString instructions(StudyMode mode, AnswerLanguage language);
};

}  // namespace tamsel
