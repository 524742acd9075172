#include "tutor-engine/teacher_workspace_error.h"

namespace meridcore {

QString TeacherWorkspaceError::description(Case errorCase) {
    switch (errorCase) {
    case Case::emptyMaterial:
        return QStringLiteral("资料没有可识别的文字。");
    case Case::materialTooLong:
        return QStringLiteral("资料文字超过 100,000 字，请拆成几份或选择更少的 PDF 页码。");
    case Case::messageTooLong:
        return QStringLiteral("输入过长：导入资料后每次指令最多 1,000 字，否则最多 4,000 字。");
    case Case::emptyMessage:
        return QStringLiteral("请输入学习目标，或选择一个明确的阶段操作。");
    case Case::noAnswerToGrade:
        return QStringLiteral("批改前请先在输入框填写你的答案。");
    case Case::corruptHistory:
        return QStringLiteral("历史文件无法解码。为保护原数据，软件不会覆盖这个文件。");
    case Case::historyTooLarge:
        return QStringLiteral("历史记录已超过本地容量限制。请导出或删除部分旧会话。");
    }
    return QStringLiteral("资料没有可识别的文字。");
}

}  // namespace meridcore
