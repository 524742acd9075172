#pragma once

// The fixed texts of the tutor engine as UTF-8 bytes, kept apart from the code that produces them.

#include <utility>
#include <vector>

#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_assessment.h"
#include "tutor-engine/merid_learning_error.h"
#include "tutor-engine/merid_step.h"
#include "tutor-engine/merid_v12_knowledge_evidence.h"
#include "tutor-engine/teacher_mode.h"

namespace golden {

inline const std::vector<std::pair<meridcore::TeacherMode, const char*>> modeTitles = {
    {meridcore::TeacherMode::teach, "逐步讲解"},
    {meridcore::TeacherMode::quiz, "出题测试"},
    {meridcore::TeacherMode::grade, "批改补救"},
    {meridcore::TeacherMode::summary, "知识总结"},
    {meridcore::TeacherMode::sprint, "考前冲刺"},
};

inline const std::vector<std::pair<meridcore::TeacherMode, const char*>> modePrompts = {
    {meridcore::TeacherMode::teach,
     "先讲清当前概念及英文关键词、中文定义和简短例子，最后询问学生是否准备进入出题阶段。不要自动跳到下一阶段。"},
    {meridcore::TeacherMode::quiz,
     "从刚刚讲过的知识点出一道新的、有区分度的练习题，只展示题目，第一行以 Q: 开头，最后一行以 Q_TYPE: application、Q_TYPE: explanation、Q_TYPE: calculation 或 Q_TYPE: recognition 标注真实题型；不要提前公布答案或主动进入批改阶段。"},
    {meridcore::TeacherMode::grade,
     "根据此前练习及学生刚提供的答案批改，标明对错并讲清错误，针对薄弱点补救，再征询学生下一步选择；不要自动跳过补救。回复最后必须独占一行写 EVAL_RESULT: CORRECT、EVAL_RESULT: PARTIAL 或 EVAL_RESULT: INCORRECT 其中之一。仅当答案完全正确才写 CORRECT，不可凭空判定掌握。"},
    {meridcore::TeacherMode::summary,
     "只在学生选择总结时，按英文关键词加中文精炼定义整理当前已学章节，突出易错点和速记卡片。"},
    {meridcore::TeacherMode::sprint,
     "仅在学生主动选择冲刺阶段时，依据其提供的考试时间，先规划高频考点与短时复习，然后询问是否进行模拟题。"},
};

inline const std::vector<std::pair<meridcore::MeridStep, const char*>> stepLabels = {
    {meridcore::MeridStep::understand, "理解概念"},
    {meridcore::MeridStep::practice, "检测理解"},
    {meridcore::MeridStep::review, "批改反馈"},
    {meridcore::MeridStep::reinforce, "针对性补救"},
    {meridcore::MeridStep::master, "掌握与记录"},
};

inline const std::vector<std::pair<meridcore::MeridAction, const char*>> actionTitles = {
    {meridcore::MeridAction::continueLearning, "我懂了，继续"},
    {meridcore::MeridAction::explainDifferently, "换个方式讲"},
    {meridcore::MeridAction::testMe, "现在测试我"},
    {meridcore::MeridAction::gradeAnswer, "批改我的答案"},
    {meridcore::MeridAction::reinforceMistake, "针对错题补救"},
    {meridcore::MeridAction::summarize, "总结并记录"},
    {meridcore::MeridAction::sprint, "考前冲刺"},
    {meridcore::MeridAction::skipConcept, "跳过这个知识点"},
    {meridcore::MeridAction::pause, "保存并暂停"},
};

inline const std::vector<std::pair<meridcore::MeridAction, const char*>> actionDrafts = {
    {meridcore::MeridAction::continueLearning,
     "我理解了，请根据刚才的课件片段继续讲一个知识点。先讲解，不要自动出题。"},
    {meridcore::MeridAction::explainDifferently,
     "刚才没有完全理解。请换一种解释方式，用更简单的例子重新讲刚才的知识点，最后停下来等我。"},
    {meridcore::MeridAction::testMe,
     "请只针对刚才讲过的知识点出一道可以作答的题，不要公布答案。必须以 Q: 开始输出题目，并在最后独立一行写 Q_TYPE: application / explanation / calculation / recognition 四者之一。出新题而不是复述上一题。"},
    {meridcore::MeridAction::gradeAnswer, ""},
    {meridcore::MeridAction::reinforceMistake,
     "请结合刚才的批改结果针对错误概念重新讲解。提出一个与上次不同的思考角度，但暂时不要出新题。"},
    {meridcore::MeridAction::summarize,
     "请总结这次真实讲过的知识点、英文关键词、容易混淆的概念及我需要复习的内容。不要凭空宣称我已掌握。"},
    {meridcore::MeridAction::sprint,
     "我想进入考前冲刺。先问我考试时间与范围，再根据我的资料和已答题记录安排复习。不要自动进入下一阶段。"},
    {meridcore::MeridAction::skipConcept,
     "跳过当前知识点，从所选课件片段中寻找下一个知识点继续讲解。不要把跳过视为已经掌握。"},
    {meridcore::MeridAction::pause, ""},
};

inline const std::vector<std::pair<meridcore::MeridAssessment, const char*>> assessmentLabels = {
    {meridcore::MeridAssessment::unassessed, "未检测"},
    {meridcore::MeridAssessment::correct, "AI 评估：正确"},
    {meridcore::MeridAssessment::partial, "AI 评估：部分正确"},
    {meridcore::MeridAssessment::incorrect, "AI 评估：需要补救"},
};

inline const std::vector<std::pair<meridcore::MeridEvidenceStatus, const char*>> evidenceLabels = {
    {meridcore::MeridEvidenceStatus::notTested, "未检测"},
    {meridcore::MeridEvidenceStatus::needsReview, "需要复习"},
    {meridcore::MeridEvidenceStatus::preliminary, "初步掌握（AI 批改，尚需复测）"},
    {meridcore::MeridEvidenceStatus::repeated, "已多次验证（AI 批改）"},
};

inline const std::vector<std::pair<meridcore::MeridLearningError::Case, const char*>> learningErrors = {
    {meridcore::MeridLearningError::Case::missingQuestion, "请先点「现在测试我」并取得题目，再提交答案批改。"},
    {meridcore::MeridLearningError::Case::blankAnswer, "请填写自己的答案后再点击批改。"},
};

inline const std::vector<std::pair<meridcore::MeridV12KnowledgeStatus, const char*>> knowledgeLabels = {
    {meridcore::MeridV12KnowledgeStatus::notTested, "未检测"},
    {meridcore::MeridV12KnowledgeStatus::learning, "正在理解"},
    {meridcore::MeridV12KnowledgeStatus::needsRepair, "需要补基础"},
    {meridcore::MeridV12KnowledgeStatus::provisional, "初步通过 · 待复测"},
    {meridcore::MeridV12KnowledgeStatus::supported, "已有掌握证据 · 仍需复习"},
};

}  // namespace golden
