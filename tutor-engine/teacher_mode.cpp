#include "tutor-engine/teacher_mode.h"

namespace meridcore {

QString title(TeacherMode mode) {
    switch (mode) {
    case TeacherMode::teach: return QStringLiteral("逐步讲解");
    case TeacherMode::quiz: return QStringLiteral("出题测试");
    case TeacherMode::grade: return QStringLiteral("批改补救");
    case TeacherMode::summary: return QStringLiteral("知识总结");
    case TeacherMode::sprint: return QStringLiteral("考前冲刺");
    }
    return {};
}

QString prompt(TeacherMode mode) {
    switch (mode) {
    case TeacherMode::teach:
        return QStringLiteral("先讲清当前概念及英文关键词、中文定义和简短例子，最后询问学生是否准备进入出题阶段。不要自动跳到下一阶段。");
    case TeacherMode::quiz:
        return QStringLiteral(
            "从刚刚讲过的知识点出一道新的、有区分度的练习题，只展示题目，第一行以 Q: 开头，最后一行以 Q_TYPE: application、Q_TYPE: explanation、Q_TYPE: calculation 或 Q_TYPE: recognition 标注真实题型；不要提前公布答案或主动进入批改阶段。");
    case TeacherMode::grade:
        return QStringLiteral(
            "根据此前练习及学生刚提供的答案批改，标明对错并讲清错误，针对薄弱点补救，再征询学生下一步选择；不要自动跳过补救。回复最后必须独占一行写 EVAL_RESULT: CORRECT、EVAL_RESULT: PARTIAL 或 EVAL_RESULT: INCORRECT 其中之一。仅当答案完全正确才写 CORRECT，不可凭空判定掌握。");
    case TeacherMode::summary:
        return QStringLiteral("只在学生选择总结时，按英文关键词加中文精炼定义整理当前已学章节，突出易错点和速记卡片。");
    case TeacherMode::sprint:
        return QStringLiteral("仅在学生主动选择冲刺阶段时，依据其提供的考试时间，先规划高频考点与短时复习，然后询问是否进行模拟题。");
    }
    return {};
}

}  // namespace meridcore
