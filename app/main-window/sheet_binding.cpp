#include "app/main-window/sheet_binding.h"

#include <QDialog>

#include "app/shell/sheet_window.h"

namespace velquin {

SheetBinding::SheetBinding(QWidget* window, std::function<bool()> wanted, std::function<void()> dismissed,
                           Factory factory, QObject* parent)
    : QObject(parent),
      window_(window),
      wanted_(std::move(wanted)),
      dismissed_(std::move(dismissed)),
      factory_(std::move(factory)) {}

SheetBinding::~SheetBinding() {
    if (sheet_) {
        sheet_->disconnect(this);
        delete sheet_;
    }
}

void SheetBinding::update() {
    if (!factory_) return;
    const bool wanted = wanted_();
    if (wanted && !sheet_) {
        QDialog* sheet = factory_(window_);
        if (!sheet) return;
        sheet_ = sheet;
        if (sheet->parentWidget() != window_) sheet->setParent(window_, sheet->windowFlags());
        connect(sheet, &QDialog::finished, this, [this, sheet] {
            // Only its first close counts: a sheet closed again before it is deleted must not
            // clear the flag of the sheet shown after it.
            sheet->disconnect(this);
            if (sheet_ == sheet) sheet_.clear();
            sheet->deleteLater();
            dismissed_();
        });
        openSheet(sheet);
    } else if (!wanted && sheet_) {
        // The sheet closes as if dismissed; the flag is already clear.
        sheet_->done(QDialog::Rejected);
    }
}

void openSheetOverParent(QDialog* sheet) {
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    openSheet(sheet);
}

}  // namespace velquin
