#include "tutor-engine/merid_learning_error.h"

namespace meridcore {

QString MeridLearningError::description(Case errorCase) {
    switch (errorCase) {
    case Case::missingQuestion: return QStringLiteral("请先点「现在测试我」并取得题目，再提交答案批改。");
    case Case::blankAnswer: return QStringLiteral("请填写自己的答案后再点击批改。");
    }
    return {};
}

}  // namespace meridcore
