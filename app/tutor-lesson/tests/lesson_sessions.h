#pragma once

#include <QString>
#include <QUuid>

#include "tutor-engine/merid_quiz_record.h"
#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_material.h"

#include <ostream>

// Readable QString values in test failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

// Sessions the lesson view tests show.
namespace velquin::testing {

inline QString u8(const char* text) { return QString::fromUtf8(text); }

inline meridcore::TeacherTurn turn(meridcore::TeacherTurn::Role role, const char* text) {
    return meridcore::TeacherTurn(role, u8(text));
}

inline meridcore::MeridQuizRecord question(const char* text, const QString& topic) {
    return meridcore::MeridQuizRecord(QUuid::createUuid(), u8(text), topic, QString());
}

// A lesson in progress on a topic with formulas: a reply in sections, one graded answer, one
// question waiting, three turns, a material of several chunks and a follow-up exchange.
inline meridcore::TeacherLearningSession formulaLesson() {
    using meridcore::TeacherTurn;
    const QString topic = u8("二次函数的顶点");
    QString text;
    for (int page = 1; page <= 3; ++page)
        text += u8("[第 %1 页]\n").arg(page) + QString(u8("二次函数 y = ax^2 + bx + c 的图像是抛物线。")).repeated(60) +
                QLatin1Char('\n');
    meridcore::TeacherLearningSession session(1, {.title = u8("二次函数"),
                                                  .material = meridcore::TeacherMaterial(u8("代数讲义.pdf"), text,
                                                                                         u8("PDF 原生文本层已提取"))});
    session.courseName = u8("Algebra 101");
    session.topicName = topic;
    session.latestClassroomResponse = u8(
        "【先说人话】抛物线像一座山，顶点就是山顶或谷底。\n\n"
        "【关键概念】对 \\(y = ax^2 + bx + c\\)，顶点的横坐标是 \\(x = -\\frac{b}{2a}\\)。\n\n"
        "【举个例子】\\(y = x^2 - 4x + 3\\) 的顶点：$$x = -\\frac{-4}{2 \\cdot 1} = 2,\\quad y = -1$$\n\n"
        "【记住这一点】\\(a > 0\\) 时开口向上，顶点是最低点。");
    session.latestClassroomMode = meridcore::TeacherMode::teach;
    session.turns = {turn(TeacherTurn::Role::user, "请讲解二次函数的顶点"),
                     turn(TeacherTurn::Role::assistant, "顶点公式是 \\(x = -\\frac{b}{2a}\\)。"),
                     turn(TeacherTurn::Role::user, "出一道题")};
    meridcore::MeridQuizRecord graded = question("求 \\(y = x^2 + 2x\\) 的顶点。", topic);
    graded.answer = u8("(-1, -1)");
    graded.feedback = u8("EVAL_RESULT: partial\n顶点横坐标 \\(x = -1\\) 正确，纵坐标也对，但请写出推导过程。");
    graded.assessment = meridcore::MeridAssessment::partial;
    meridcore::MeridQuizRecord pending = question("函数 \\(y = 2x^2 - 8x + 1\\) 的顶点横坐标是多少？", topic);
    session.quizRecords = QList<meridcore::MeridQuizRecord>{graded, pending};
    session.draft = u8("x = 2");
    session.lastFollowupQuestion = u8("为什么是 \\(-\\frac{b}{2a}\\)？");
    session.lastFollowupAnswer = u8("配方：\\(a(x + \\frac{b}{2a})^2 + c - \\frac{b^2}{4a}\\)，平方项为零时取到顶点。");
    return session;
}

}  // namespace velquin::testing
