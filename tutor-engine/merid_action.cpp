#include "tutor-engine/merid_action.h"

namespace meridcore {

QString title(MeridAction action) {
    switch (action) {
    case MeridAction::continueLearning: return QStringLiteral("我懂了，继续");
    case MeridAction::explainDifferently: return QStringLiteral("换个方式讲");
    case MeridAction::testMe: return QStringLiteral("现在测试我");
    case MeridAction::gradeAnswer: return QStringLiteral("批改我的答案");
    case MeridAction::reinforceMistake: return QStringLiteral("针对错题补救");
    case MeridAction::summarize: return QStringLiteral("总结并记录");
    case MeridAction::sprint: return QStringLiteral("考前冲刺");
    case MeridAction::skipConcept: return QStringLiteral("跳过这个知识点");
    case MeridAction::pause: return QStringLiteral("保存并暂停");
    }
    return {};
}

bool isOnline(MeridAction action) { return action != MeridAction::pause; }

std::optional<TeacherMode> mode(MeridAction action) {
    switch (action) {
    case MeridAction::continueLearning:
    case MeridAction::explainDifferently:
    case MeridAction::reinforceMistake:
    case MeridAction::skipConcept: return TeacherMode::teach;
    case MeridAction::testMe: return TeacherMode::quiz;
    case MeridAction::gradeAnswer: return TeacherMode::grade;
    case MeridAction::summarize: return TeacherMode::summary;
    case MeridAction::sprint: return TeacherMode::sprint;
    case MeridAction::pause: return std::nullopt;
    }
    return std::nullopt;
}

MeridStep step(MeridAction action) {
    switch (action) {
    case MeridAction::continueLearning:
    case MeridAction::explainDifferently:
    case MeridAction::skipConcept: return MeridStep::understand;
    case MeridAction::testMe: return MeridStep::practice;
    case MeridAction::gradeAnswer: return MeridStep::review;
    case MeridAction::reinforceMistake: return MeridStep::reinforce;
    case MeridAction::summarize:
    case MeridAction::sprint:
    case MeridAction::pause: return MeridStep::master;
    }
    return MeridStep::understand;
}

QString draft(MeridAction action) {
    switch (action) {
    case MeridAction::continueLearning:
        return QStringLiteral("我理解了，请根据刚才的课件片段继续讲一个知识点。先讲解，不要自动出题。");
    case MeridAction::explainDifferently:
        return QStringLiteral("刚才没有完全理解。请换一种解释方式，用更简单的例子重新讲刚才的知识点，最后停下来等我。");
    case MeridAction::testMe:
        return QStringLiteral(
            "请只针对刚才讲过的知识点出一道可以作答的题，不要公布答案。必须以 Q: 开始输出题目，并在最后独立一行写 Q_TYPE: application / explanation / calculation / recognition 四者之一。出新题而不是复述上一题。");
    case MeridAction::gradeAnswer: return QString();
    case MeridAction::reinforceMistake:
        return QStringLiteral("请结合刚才的批改结果针对错误概念重新讲解。提出一个与上次不同的思考角度，但暂时不要出新题。");
    case MeridAction::summarize:
        return QStringLiteral("请总结这次真实讲过的知识点、英文关键词、容易混淆的概念及我需要复习的内容。不要凭空宣称我已掌握。");
    case MeridAction::sprint:
        return QStringLiteral("我想进入考前冲刺。先问我考试时间与范围，再根据我的资料和已答题记录安排复习。不要自动进入下一阶段。");
    case MeridAction::skipConcept:
        return QStringLiteral("跳过当前知识点，从所选课件片段中寻找下一个知识点继续讲解。不要把跳过视为已经掌握。");
    case MeridAction::pause: return QString();
    }
    return {};
}

}  // namespace meridcore
