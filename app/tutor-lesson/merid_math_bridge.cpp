#include "app/tutor-lesson/merid_math_bridge.h"

#include <algorithm>
#include <cmath>

namespace velquin::MeridMathBridge {

bool isFormulaCandidate(const QString& text) {
    if (text.contains(QLatin1String("\\(")) || text.contains(QLatin1String("\\[")) ||
        text.contains(QLatin1String("$$")))
        return true;
    return text.count(QLatin1Char('$')) >= 2;
}

namespace {

std::optional<double> number(const QVariant& body) {
    // The channel hands whole numbers over as integers and the rest as doubles.
    switch (body.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return body.toDouble();
    default: return std::nullopt;
    }
}

}  // namespace

std::optional<qreal> acceptedHeight(const QVariant& body, qreal current) {
    const std::optional<double> height = number(body);
    if (!height || !std::isfinite(*height) || *height < 20 || *height > 8000) return std::nullopt;
    if (std::abs(*height - current) <= 1) return std::nullopt;
    return *height;
}

qreal viewHeight(qreal measured) { return std::clamp(measured, minimumViewHeight, maximumViewHeight); }

std::optional<int> wheelPosition(const QVariant& body, int current, int maximum) {
    const std::optional<double> delta = number(body);
    if (!delta || !std::isfinite(*delta)) return std::nullopt;
    const double target = std::clamp(current + *delta, 0.0, static_cast<double>(std::max(maximum, 0)));
    const int position = static_cast<int>(std::lround(target));
    if (std::abs(target - current) <= 0.1 || position == current) return std::nullopt;
    return position;
}

}  // namespace velquin::MeridMathBridge
