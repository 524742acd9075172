#include "tutor-engine/merid_step.h"

namespace meridcore {

int number(MeridStep step) { return int(base::allCases<MeridStep>().indexOf(step)) + 1; }

QString label(MeridStep step) {
    switch (step) {
    case MeridStep::understand: return QStringLiteral("理解概念");
    case MeridStep::practice: return QStringLiteral("检测理解");
    case MeridStep::review: return QStringLiteral("批改反馈");
    case MeridStep::reinforce: return QStringLiteral("针对性补救");
    case MeridStep::master: return QStringLiteral("掌握与记录");
    }
    return {};
}

QString english(MeridStep step) {
    const QString raw = base::rawValue(step);
    return raw.left(1).toUpper() + raw.mid(1);
}

}  // namespace meridcore
