// The tutor reply contract over any reply, for every mode, with and without material: a reply is
// refused with the contract's own error or comes out in the form the engine reads.
#include <QJsonDocument>
#include <QJsonObject>

#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "tutor-engine/merid_quiz_evaluator.h"
#include "tutor-engine/merid_request_builder.h"
#include "tutor-engine/merid_v12_reply_contract.h"

using namespace meridcore;
using fuzzsupport::require;

namespace {

struct Setup {
    TeacherLearningSession session;
    MeridTutorRequest request;
};

Setup makeSetup(TeacherMode mode, bool withMaterial) {
    TeacherLearningSession session(0, {.date = base::Date{0}, .mode = mode, .draft = QStringLiteral("讲一下")});
    if (withMaterial)
        session.material = TeacherMaterial(QStringLiteral("bio.pdf"),
                                           QStringLiteral("[第 1 页]\n细胞呼吸。\n[第 2 页]\nATP 是能量货币。"), QString());
    MeridQuizRecord answered(QUuid(), QStringLiteral("What is ATP?"), QStringLiteral("ATP"), QString());
    answered.answer = QStringLiteral("energy");
    session.quizRecords = QList<MeridQuizRecord>{answered};
    if (mode == TeacherMode::grade) {
        session.quizRecords->append(
            MeridQuizRecord(QUuid(), QStringLiteral("Café ?"), QStringLiteral("ATP"), QString()));
        session.draft = QStringLiteral("因为要产生能量");
    }
    const MeridTutorRequest request = MeridRequestBuilder::makeRequest(session);
    return {session, request};
}

const Setup& setup(int index) {
    static const QList<Setup> setups = [] {
        QList<Setup> all;
        for (const bool withMaterial : {false, true})
            for (const TeacherMode mode :
                 {TeacherMode::teach, TeacherMode::quiz, TeacherMode::grade, TeacherMode::summary, TeacherMode::sprint})
                all.append(makeSetup(mode, withMaterial));
        return all;
    }();
    return setups[index % setups.size()];
}

// The "question_kind" of a reply that is a bare JSON object.
std::optional<QString> envelopeQuestionKind(const QString& raw) {
    const QJsonDocument document = QJsonDocument::fromJson(base::text::trimmed(raw).toUtf8());
    const QJsonValue kind = document.object().value(QStringLiteral("question_kind"));
    if (!kind.isString()) return std::nullopt;
    return kind.toString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Setup& s = setup(data[0]);
    const QString raw = fuzzsupport::text(data + 1, size - 1);
    QString result;
    try {
        result = MeridV12ReplyContract::normalize(raw, s.request, s.session);
    } catch (const MeridV12ReplyError&) {
        return 0;
    }
    switch (s.request.mode) {
    case TeacherMode::quiz:
        require(MeridQuizEvaluator::question(result).has_value(), "an accepted question has a question");
        if (const std::optional<QString> kind = envelopeQuestionKind(raw))
            require(MeridQuizEvaluator::questionKind(result) == kind, "the envelope's question kind is recorded");
        break;
    case TeacherMode::grade:
        require(MeridQuizEvaluator::assessment(result) != MeridAssessment::unassessed,
                "an accepted grading has a verdict");
        break;
    default:
        require(!base::text::trimmed(result).isEmpty(), "an accepted reply has text");
    }
    return 0;
}
