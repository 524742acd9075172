#include "app/main-window/data_folder_notice.h"

#include "app/shell/ui_strings.h"

namespace velquin {

namespace {
// The widest a name of the holder is shown.
constexpr int kNameWidth = 240;
}  // namespace

DataFolderInUseNotice::DataFolderInUseNotice(const DataFolderLock::Holder& holder, QWidget* parent)
    : QMessageBox(parent) {
    setObjectName(QStringLiteral("orvel.data-folder-in-use"));
    setIcon(QMessageBox::Warning);
    const QString heading = UIStrings::text(QStringLiteral("Orvel 已在另一个桌面会话中打开"));
    setWindowTitle(heading);
    // One plain text: the holder's names come from a file.
    setTextFormat(Qt::PlainText);
    QString text = heading + QStringLiteral("\n\n") +
                   UIStrings::text(QStringLiteral(
                       "那里的 Orvel 正在使用同一个数据文件夹。为免两份 Orvel 互相覆盖学习历史和 AI 老师的课堂，"
                       "这一份不会打开。请在那个会话中使用 Orvel，或先在那里退出它，再在这里打开。"));
    if (!holder.host.isEmpty()) {
        // A name has no place to wrap: a long one is cut in the middle rather than widening the
        // notice past a small screen (the standard error names it whole).
        const auto name = [this](const QString& text) {
            return fontMetrics().elidedText(text, Qt::ElideMiddle, kNameWidth);
        };
        const QString unknown = QStringLiteral("—");
        text += QStringLiteral("\n\n") + UIStrings::text(QStringLiteral("计算机：%1 · 显示：%2 · 进程：%3"))
                                             .arg(name(holder.host),
                                                  holder.display.isEmpty() ? unknown : name(holder.display),
                                                  holder.pid > 0 ? QString::number(holder.pid) : unknown);
    }
    setText(text);
    setDefaultButton(addButton(UIStrings::text(QStringLiteral("关闭")), QMessageBox::AcceptRole));
}

}  // namespace velquin
