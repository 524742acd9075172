#include "core/selection_interaction.h"

#include <algorithm>
#include <cmath>

namespace tamsel {

bool SelectionInteraction::reset(const QString& reason) {
    const bool wasShown = phase == Phase::icon || phase == Phase::result;
    if (phase == Phase::reading) {
        ++readsCancelled;
        readStatus = QStringLiteral("已取消：") + reason;
    } else if (phase == Phase::waiting) {
        readStatus = QStringLiteral("等待已取消：") + reason;
    }
    ++generation;
    phase = Phase::idle;
    captured.reset();
    failureMessage.reset();
    sourcePID.reset();
    return wasShown;
}

qint64 SelectionInteraction::beginRead(qint32 pid, bool manual) {
    reset(QStringLiteral("新的选区"));
    origin = manual ? Origin::manual : Origin::automatic;
    sourcePID = pid;
    phase = Phase::waiting;
    readStatus = QStringLiteral("等待选区稳定");
    return generation;
}

bool SelectionInteraction::markReading(qint64 readGeneration) {
    if (readGeneration != generation || phase != Phase::waiting) return false;
    phase = Phase::reading;
    ++readsStarted;
    readStatus = QStringLiteral("AX 读取中");
    return true;
}

bool SelectionInteraction::finishRead(qint64 readGeneration, const CapturedSelection& selection, bool offerIcon) {
    if (readGeneration != generation || phase != Phase::reading) return false;
    ++readsSucceeded;
    readStatus = QStringLiteral("读取成功");
    captured = selection;
    failureMessage.reset();
    phase = offerIcon ? Phase::icon : Phase::result;
    return true;
}

bool SelectionInteraction::failRead(qint64 readGeneration, const QString& message, bool offerIcon) {
    if (readGeneration != generation || phase != Phase::reading) return false;
    ++readsFailed;
    readStatus = QStringLiteral("读取失败：") + message;
    captured.reset();
    failureMessage = message;
    phase = offerIcon ? Phase::icon : Phase::idle;
    return true;
}

std::optional<CapturedSelection> SelectionInteraction::openIcon() {
    if (phase != Phase::icon || !captured) return std::nullopt;
    phase = Phase::result;
    return captured;
}

std::optional<QString> SelectionInteraction::openFailureIcon() {
    if (phase != Phase::icon || captured || !failureMessage) return std::nullopt;
    phase = Phase::result;
    return failureMessage;
}

void SelectionInteraction::present(const CapturedSelection& selection, Origin newOrigin, bool asIcon) {
    reset(QStringLiteral("新的主动请求"));
    origin = newOrigin;
    captured = selection;
    sourcePID = selection.processIdentifier;
    phase = asIcon ? Phase::icon : Phase::result;
}

bool SelectionInteraction::pauseAutomatic() {
    if (origin != Origin::automatic) return false;
    return reset(QStringLiteral("自动划词暂停"));
}

bool SelectionInteraction::shouldDismissOnActivation(qint32 pid, qint32 ownPID, bool isSystem,
                                                     bool isProtected) const {
    if (isProtected) return phase != Phase::idle;
    if (pid == ownPID || isSystem) return false;
    if (!sourcePID) return false;
    if (pid == *sourcePID) return false;
    return phase != Phase::idle;
}

SelectionPoint SelectionPlacement::origin(SelectionPoint near, double width, double height, double minX,
                                          double minY, double maxX, double maxY) {
    double x = near.x + 12;
    double y = near.y - height - 12;
    x = std::min(x, maxX - width - 8);
    y = std::min(y, maxY - height - 8);
    x = std::max(x, minX + 8);
    y = std::max(y, minY + 8);
    // A pointer or size that is not a number passes both clamps unchanged (every comparison with
    // NaN is false): the panel then goes to the lower bound instead of to no position at all.
    if (std::isnan(x)) x = minX + 8;
    if (std::isnan(y)) y = minY + 8;
    return SelectionPoint{x, y};
}

}  // namespace tamsel
