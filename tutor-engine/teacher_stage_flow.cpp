#include "tutor-engine/teacher_stage_flow.h"

#include "base/text.h"

namespace meridcore {

using Error = TeacherWorkspaceError;

QString TeacherStageFlow::proposedInput(TeacherMode mode, bool hasConversation) {
    switch (mode) {
    case TeacherMode::teach:
        return hasConversation ? QStringLiteral("请继续讲解当前知识点，我还想弄明白。")
                               : QStringLiteral("请从这份资料开始，先讲解关键概念和英文关键词。");
    case TeacherMode::quiz:
        return QStringLiteral("我已准备好。请根据刚刚讲解的知识点出 1\u20133 道题，先不公布答案。");
    case TeacherMode::grade: return QString();
    case TeacherMode::summary: return QStringLiteral("请把目前学过的知识点整理为英文关键词、中文定义和易错点。");
    case TeacherMode::sprint: return QStringLiteral("我准备进入考前冲刺。请先问我的考试时间和范围，再制定冲刺方案。");
    }
    return QString();
}

QString TeacherStageFlow::makeRequestText(const QString& input, const std::optional<TeacherMaterial>& material,
                                          qsizetype chunkIndex, TeacherMode mode) {
    const QString instruction = base::text::trimmed(input);
    const qsizetype limit = material ? maxInputWithMaterial : maxInputWithoutMaterial;
    if (base::text::graphemeCountExceeds(instruction, limit)) throw Error(Error::Case::messageTooLong);
    if (instruction.isEmpty())
        throw Error(mode == TeacherMode::grade ? Error::Case::noAnswerToGrade : Error::Case::emptyMessage);
    if (!material) return instruction;

    const QStringList chunks = material->chunks();
    if (chunkIndex < 0 || chunkIndex >= chunks.size()) throw Error(Error::Case::emptyMaterial);

    QString text = QStringLiteral("学生当前指令：");
    text += instruction;
    text += QStringLiteral("\n参考资料：《");
    text += material->name();
    text += QStringLiteral("》，第 ");
    text += QString::number(chunkIndex + 1);
    text += u'/';
    text += QString::number(chunks.size());
    text += QStringLiteral(" 段。\n可核实的附近页码/幻灯片标签：");
    text += material->sourceMarker(chunkIndex).value_or(QStringLiteral("未提供"));
    text += QStringLiteral(
        "。\n只针对本次提供的片段作答；\n如果需要下一段，请提示学生手动切换资料段落。不要声称已阅读其他段落。\n--- 资料片段开始 ---");
    text += u'\n';
    text += chunks.at(chunkIndex);
    text += QStringLiteral("\n--- 资料片段结束 ---");
    if (base::text::graphemeCountExceeds(text, maxRequestLength)) throw Error(Error::Case::messageTooLong);
    return text;
}

}  // namespace meridcore
