#include "tutor-engine/merid_step.h"

namespace meridcore {

QString rawValue(MeridStep step) {
    switch (step) {
    case MeridStep::understand: return QStringLiteral("understand");
    case MeridStep::practice: return QStringLiteral("practice");
    case MeridStep::review: return QStringLiteral("review");
    case MeridStep::reinforce: return QStringLiteral("reinforce");
    case MeridStep::master: return QStringLiteral("master");
    }
    return {};
}

template <>
std::optional<MeridStep> fromRawValue<MeridStep>(const QString& raw) {
    for (const MeridStep step : allCases<MeridStep>())
        if (rawValue(step) == raw) return step;
    return std::nullopt;
}

template <>
QList<MeridStep> allCases<MeridStep>() {
    return {MeridStep::understand, MeridStep::practice, MeridStep::review, MeridStep::reinforce, MeridStep::master};
}

int number(MeridStep step) { return int(allCases<MeridStep>().indexOf(step)) + 1; }

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
    const QString raw = rawValue(step);
    return raw.left(1).toUpper() + raw.mid(1);
}

}  // namespace meridcore
