#include "core/direct_selection_rules.h"

#include <cmath>

#include "base/text.h"

namespace tamsel {

QString DirectSelectionFailure::message() const {
    switch (case_) {
    case Case::permission:
        return QStringLiteral("请在桌面设置 → 辅助功能中开启辅助技术，再回到直接划词设置重新检查。");
    case Case::noText: return QStringLiteral("未读到选中文字。请先在文档中选中一段文字。");
    case Case::protectedField: return QStringLiteral("这个控件是受保护的输入框，不读取其中的文字。");
    case Case::tooLong: return QStringLiteral("自动划词一次最多 3,000 个字符，请缩短选区。");
    case Case::unsupported:
        return QStringLiteral("来源应用没有提供可读取的选区文字。可改用 orvel --study-selection 命令，或复制文字。");
    case Case::timedOut:
        return QStringLiteral(
            "来源应用没有及时返回选区。请保持文档在前台，再试一次；也可运行 orvel --study-selection。");
    }
    return {};
}

QString DirectSelectionRules::validated(const QString& text) {
    const QString trimmed = base::text::trimmed(text);
    if (trimmed.isEmpty()) throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
    if (!base::text::containsLetterOrDigit(trimmed)) throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
    if (base::text::graphemeCountExceeds(trimmed, limit))
        throw DirectSelectionFailure(DirectSelectionFailure::Case::tooLong);
    return trimmed;
}

bool DirectSelectionRules::isSelectionGesture(double startX, double startY, double endX, double endY,
                                              int clickCount, bool observedDrag) {
    if (!std::isfinite(startX) || !std::isfinite(startY) || !std::isfinite(endX) || !std::isfinite(endY))
        return false;
    if (clickCount >= 2 || observedDrag) return true;
    return std::hypot(endX - startX, endY - startY) >= 4.0;
}

QString validated(SelectionTextPolicy policy, const QString& text) {
    switch (policy) {
    case SelectionTextPolicy::service: return SourceText::validated(text);
    case SelectionTextPolicy::automatic: break;
    }
    return DirectSelectionRules::validated(text);
}

}  // namespace tamsel
