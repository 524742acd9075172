#pragma once

#include <QHashFunctions>
#include <QString>

#include <functional>

#include "base/errors.h"
#include "core/study.h"

// The fixed rules of select-anywhere: which gesture counts as a selection, what a selected text
// must look like, which rule applies to which way of arriving, why a read gave nothing, and the
// key of a cached answer.
namespace tamsel {

// Why a select-anywhere read gave nothing. `message()` is the text shown to the user.
class DirectSelectionFailure : public base::Error {
public:
    enum class Case { permission, noText, protectedField, tooLong, unsupported, timedOut };

    explicit DirectSelectionFailure(Case failureCase) : case_(failureCase) {}

    Case failureCase() const { return case_; }
    QString message() const override;

    bool operator==(const DirectSelectionFailure& other) const { return case_ == other.case_; }

private:
    Case case_;
};

inline size_t qHash(const DirectSelectionFailure& failure, size_t seed = 0) noexcept {
    return ::qHash(int(failure.failureCase()), seed);
}

struct DirectSelectionRules {
    // The most user-perceived characters one select-anywhere text may hold.
    static constexpr qsizetype limit = 3000;

    // The text trimmed of white space and line breaks. Throws DirectSelectionFailure noText when
    // nothing is left or no character is a letter or a decimal digit, tooLong beyond `limit`.
    static QString validated(const QString& text);

    // Whether a mouse-down at (startX, startY) and mouse-up at (endX, endY), in points, make a
    // selection gesture: never with a non-finite coordinate; always with a double or triple click
    // or an observed drag; otherwise when the pointer moved at least 4 points.
    static bool isSelectionGesture(double startX, double startY, double endX, double endY, int clickCount,
                                   bool observedDrag);
};

// Which rule a selected text goes through, by how it arrived.
enum class SelectionTextPolicy {
    automatic,  // read from another application: DirectSelectionRules, DirectSelectionFailure
    service,    // received through the desktop's service entry: SourceText, StudyError
};

inline size_t qHash(SelectionTextPolicy policy, size_t seed = 0) noexcept { return ::qHash(int(policy), seed); }

// The text validated by the policy's rule; throws that rule's error type.
QString validated(SelectionTextPolicy policy, const QString& text);

// The cache key of one answer: equal when every field is equal, hashed over all of them, so a
// change of any setting misses the cache even for the same text.
struct DirectAnswerKey {
    QString text;
    StudyMode mode = StudyMode::translate;
    AnswerLanguage language = AnswerLanguage::simplifiedChinese;
    QString model;
    int outputLimit = 0;
    ReasoningEffort effort = ReasoningEffort::automatic;

    bool operator==(const DirectAnswerKey& other) const = default;
};

inline size_t qHash(const DirectAnswerKey& key, size_t seed = 0) noexcept {
    return qHashMulti(seed, key.text, key.mode, key.language, key.model, key.outputLimit, key.effort);
}

}  // namespace tamsel

template <>
struct std::hash<tamsel::DirectAnswerKey> {
    size_t operator()(const tamsel::DirectAnswerKey& key) const noexcept { return tamsel::qHash(key); }
};

template <>
struct std::hash<tamsel::DirectSelectionFailure> {
    size_t operator()(const tamsel::DirectSelectionFailure& failure) const noexcept { return tamsel::qHash(failure); }
};
