#include "tutor-engine/merid_v12_course_navigation_error.h"

namespace meridcore {

QString MeridV12CourseNavigationError::description(Case errorCase) {
    switch (errorCase) {
    case Case::pendingAnswer:
        return QStringLiteral("请先完成当前题目，之后才能切换章节。");
    case Case::missingTopic:
        return QStringLiteral("教材中找不到这个章节，请重新检查目录。");
    case Case::changedMaterial:
        return QStringLiteral("教材已发生变化，请重新建立课程目录，不会复用旧的掌握记录。");
    }
    return QStringLiteral("教材已发生变化，请重新建立课程目录，不会复用旧的掌握记录。");
}

}  // namespace meridcore
