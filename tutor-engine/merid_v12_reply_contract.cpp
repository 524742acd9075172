#include "tutor-engine/merid_v12_reply_contract.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QStringList>

#include <algorithm>

#include "base/text.h"
#include "tutor-engine/merid_quiz_evaluator.h"

namespace meridcore {

QString MeridV12ReplyError::description(Case errorCase) {
    switch (errorCase) {
    case Case::empty: return QStringLiteral("MERID 没有返回有效内容。已停止本轮，不会额外扣除下一次请求。");
    case Case::invalidEnvelope:
    case Case::unsupportedVersion:
    case Case::wrongEvent: return QStringLiteral("老师的结构化回复格式不正确。已停在当前阶段，保留原课堂记录。");
    case Case::invalidQuestion: return QStringLiteral("AI 没有生成可作答的独立题目，已停止自动推进；不会假装完成出题。");
    case Case::repeatedQuestion: return QStringLiteral("AI 重复了之前的题目。请手动要求新题，本轮不会继续调用。");
    case Case::missingGrade: return QStringLiteral("AI 没有给出可核对的批改结果。你的答案已保留，请重试批改。");
    case Case::falseCitation: return QStringLiteral("AI 给出了无法从当前教材确认的页码，已拒绝此段回答。");
    }
    return QStringLiteral("老师的结构化回复格式不正确。已停在当前阶段，保留原课堂记录。");
}

namespace MeridV12ReplyContract {

namespace {

using Error = MeridV12ReplyError;

// The fixed lines after the kind; each ends with a line feed.
const char* const kRuleLines = R"x(, text="给学生的内容"。
只在 kind=question 时增加 question_kind=recognition/calculation/application/explanation；
只在 kind=feedback 时增加 evaluation=correct/partial/incorrect。
若引用课件页码，source_marker 必须来自输入的教材真实标记，不可猜测。
数学排版（所有 kind 通用）：新生成的数学公式使用标准 LaTeX 数学标记。
行内使用 $...$，独立居中的复杂公式使用两个连续美元符号作为左右定界符，
也可使用 \( ... \) 或 \[ ... \] 对应的正确数学定界符。
分式请使用 \frac{a}{b}，极限使用 \lim_{h\to 0}，
上标使用 x^{2}，矩阵使用 \begin{bmatrix}a&b\\c&d\end{bmatrix}。
JSON 字符串内的反斜杠必须按照 JSON 标准转义成两个反斜杠，不能生成无效 JSON。
不要用 lim_(h->0)、[a/b] 等机打语法代替排版好的数学公式。
不得改变原题或学生答案的数学含义，也不得从缺失的材料编造符号。
一次只解释一个概念或出一道题。题目不公布答案，批改必须根据学生真实作答。
批改时先客观说明真实作答中正确的一步，再指出应修正的具体地方；不能无依据地表扬。
不要输出掌握百分比、下一步的命令或额外题目；下一步由 Orvel 教学引擎决定。
)x";

// The layout of a lesson reply, only for teach; no line feed after the last line.
const char* const kLessonFormat = R"x(如果这是正式知识点讲解，text 请分成最多四个短段落，使用以下可识别标题：
【先说人话】先用一到两句话给直观理解，不复述文件名或系统处理过程。
【关键概念】保留准确的英文专业关键词、严谨定义或必要公式。
【举个例子】给一个简短、数学或事实正确的例子；不要编造教材原文。
【记住这一点】写一句最值得记住的区别或易错点。
根据学生选择的回答语言本地化标题，不要把标题硬切换成中文：
英语可用 ## Quick idea / ## Key concept / ## Example / ## Remember；
法语可用 ## Comprendre d'abord / ## Notion clé / ## Exemple / ## À retenir。
这些标题是呈现标签，不是学习成绩。每段优先 1–3 句，简单概念不必凑满四段。
如果学生只是在追问、请求提示或处理刚才的错题，则自然简短地回答；
有未提交的练习时不得泄露最终答案，不要求硬凑四段。)x";

const QStringList& questionKinds() {
    static const QStringList kinds{QStringLiteral("recognition"), QStringLiteral("calculation"),
                                   QStringLiteral("application"), QStringLiteral("explanation")};
    return kinds;
}

// The quiz checks: the result must hold a question, and not one the session already asked.
void checkQuestion(const QString& result, const TeacherLearningSession& session) {
    const std::optional<QString> question = MeridQuizEvaluator::question(result);
    if (!question) throw Error(Error::Case::invalidQuestion);
    const QString identity = MeridQuizEvaluator::questionIdentity(*question);
    for (const MeridQuizRecord& record : session.quizRecords.value_or(QList<MeridQuizRecord>{}))
        if (MeridQuizEvaluator::questionIdentity(record.question) == identity)
            throw Error(Error::Case::repeatedQuestion);
}

// The JSON text of a reply that is a bare object or a fenced block; nullopt for a plain-text reply.
std::optional<QString> jsonText(const QString& reply) {
    if (reply.startsWith(u'{')) return reply;
    if (!reply.startsWith(QStringLiteral("```"))) return std::nullopt;
    const qsizetype firstLineEnd = reply.indexOf(u'\n');
    if (firstLineEnd < 0) throw Error(Error::Case::invalidEnvelope);
    const qsizetype closingFence = reply.lastIndexOf(QStringLiteral("\n```"));
    if (closingFence <= firstLineEnd) throw Error(Error::Case::invalidEnvelope);
    return reply.mid(firstLineEnd + 1, closingFence - firstLineEnd - 1);
}

// The material excerpt carried by the request's last message, between the delimiter lines that
// the lesson and chapter request texts put around it; nullopt when the request quoted no material.
// The last opening line is taken: the student's instruction comes before the excerpt and may
// itself hold a copy of the opening line, while a copy inside the excerpt only narrows it.
std::optional<QString> sentExcerpt(const MeridTutorRequest& request) {
    if (!request.sourceName || request.messages.isEmpty()) return std::nullopt;
    static const std::pair<QString, QString> delimiters[] = {
        {QStringLiteral("\n--- 资料片段开始 ---\n"), QStringLiteral("\n--- 资料片段结束 ---")},
        {QStringLiteral("\n--- 章节原文开始 ---\n"), QStringLiteral("\n--- 章节原文结束 ---")},
    };
    const QString& text = request.messages.last().content;
    for (const auto& [opening, closing] : delimiters) {
        if (!text.endsWith(closing)) continue;
        const qsizetype start = text.lastIndexOf(opening);
        const qsizetype end = text.size() - closing.size();
        if (start < 0 || start + opening.size() > end) continue;
        return text.mid(start + opening.size(), end - start - opening.size());
    }
    return std::nullopt;
}

void checkSourceMarker(const QString& marker, const MeridTutorRequest& request,
                       const TeacherLearningSession& session) {
    if (!session.material) throw Error(Error::Case::falseCitation);
    // A label the excerpt holds, whole: not any piece of its text.
    if (const std::optional<QString> excerpt = sentExcerpt(request);
        excerpt && TeacherMaterial::sourceLabels(*excerpt).contains(marker))
        return;

    std::optional<QString> expected;
    if (session.coursePlan) {
        if (const std::optional<MeridV12CourseTopic> topic = session.coursePlan->activeTopic())
            expected = topic->sourceMarker;
    }
    if (!expected) expected = session.material->sourceMarker(session.chunkIndex);
    if (!expected || *expected != marker) throw Error(Error::Case::falseCitation);
}

std::optional<QString> optionalStringMember(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

QString normalizeEnvelope(const QString& json, const MeridTutorRequest& request,
                          const TeacherLearningSession& session) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw Error(Error::Case::invalidEnvelope);
    const QJsonObject object = document.object();

    // A JSON number only: a boolean or a string "1" is refused; 1.0 is the integer 1.
    const QJsonValue version = object.value(QStringLiteral("schema_version"));
    if (!version.isDouble() || version.toDouble() != 1.0) throw Error(Error::Case::unsupportedVersion);

    const QJsonValue kindValue = object.value(QStringLiteral("kind"));
    const QJsonValue textValue = object.value(QStringLiteral("text"));
    if (!kindValue.isString() || !textValue.isString()) throw Error(Error::Case::invalidEnvelope);
    const QString text = textValue.toString();
    if (base::text::trimmed(text).isEmpty() || base::text::graphemeCountExceeds(text, maxTextLength))
        throw Error(Error::Case::invalidEnvelope);
    if (kindValue.toString() != kind(request.mode)) throw Error(Error::Case::wrongEvent);

    if (const std::optional<QString> marker = optionalStringMember(object, QStringLiteral("source_marker"));
        marker && !marker->isEmpty())
        checkSourceMarker(*marker, request, session);

    const QString body = base::text::trimmed(text);
    const std::optional<QString> questionKind = optionalStringMember(object, QStringLiteral("question_kind"));
    const std::optional<QString> evaluation = optionalStringMember(object, QStringLiteral("evaluation"));

    switch (request.mode) {
    case TeacherMode::teach:
    case TeacherMode::summary:
    case TeacherMode::sprint: return body;
    case TeacherMode::quiz: {
        if (!questionKind || !questionKinds().contains(*questionKind)) throw Error(Error::Case::invalidQuestion);
        // The kind comes from "question_kind" alone: a kind line inside the text would be read first.
        if (std::ranges::any_of(base::text::splitLines(body), MeridQuizEvaluator::isQuestionKindLine))
            throw Error(Error::Case::invalidQuestion);
        const QString result = QStringLiteral("Q: ") + body + QStringLiteral("\nQ_TYPE: ") + *questionKind;
        checkQuestion(result, session);
        return result;
    }
    case TeacherMode::grade: {
        const QString verdict = evaluation ? base::text::upper(*evaluation) : QString();
        if (verdict != QStringLiteral("CORRECT") && verdict != QStringLiteral("PARTIAL") &&
            verdict != QStringLiteral("INCORRECT"))
            throw Error(Error::Case::missingGrade);
        return body + QStringLiteral("\nEVAL_RESULT: ") + verdict;
    }
    }
    return body;
}

}  // namespace

QString kind(TeacherMode mode) {
    switch (mode) {
    case TeacherMode::teach: return QStringLiteral("lesson");
    case TeacherMode::quiz: return QStringLiteral("question");
    case TeacherMode::grade: return QStringLiteral("feedback");
    case TeacherMode::summary: return QStringLiteral("summary");
    case TeacherMode::sprint: return QStringLiteral("sprint");
    }
    return QStringLiteral("lesson");
}

QString instruction(TeacherMode mode) {
    QString text = QStringLiteral("MERID 1.2 输出协议：只返回一段 JSON 对象，不要 Markdown 代码块和其他文字。\n"
                                  "键：schema_version=1, kind=\"");
    text += kind(mode);
    text += u'"';
    text += QString::fromUtf8(kRuleLines);
    if (mode == TeacherMode::teach) text += QString::fromUtf8(kLessonFormat);
    return text;
}

QString normalize(const QString& raw, const MeridTutorRequest& request, const TeacherLearningSession& session) {
    const QString reply = base::text::trimmed(raw);
    if (reply.isEmpty()) throw Error(Error::Case::empty);

    if (const std::optional<QString> json = jsonText(reply)) return normalizeEnvelope(*json, request, session);

    // A reply without the JSON envelope, as older tutors answered.
    switch (request.mode) {
    case TeacherMode::teach:
    case TeacherMode::summary:
    case TeacherMode::sprint: return reply;
    case TeacherMode::quiz: checkQuestion(reply, session); return reply;
    case TeacherMode::grade:
        if (MeridQuizEvaluator::assessment(reply) == MeridAssessment::unassessed)
            throw Error(Error::Case::missingGrade);
        return reply;
    }
    return reply;
}

}  // namespace MeridV12ReplyContract

}  // namespace meridcore
