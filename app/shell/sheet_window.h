#pragma once

#include <QMessageBox>
#include <QWidget>

#include <optional>

class QDialog;

namespace velquin {

// Opens `sheet` as a sheet of the window its parent belongs to: a dialog of that window (the
// window manager keeps it above the window and minimises it with it), window-modal, with a title
// and a close button but no minimise or maximise button, centred over the window at the size it
// lays itself out at, inside the screen's available area, and kept there while the window is
// placed or moved and while the sheet changes its size. A sheet without a parent opens as a plain
// dialog. A sheet may be opened again.
void openSheet(QDialog* sheet);

// The height of the available area of the screen that the window `sheet` belongs to shows on
// (its parent's window, or itself); none without a screen.
std::optional<int> availableScreenHeight(const QWidget* sheet);

// What the scroll area of a sheet or a page holds: as tall as its texts need at the width it is
// shown at. (A plain widget asks for the height its wrapped texts would need at their narrowest,
// which the scroll area keeps as the least height: the sheet or page then scrolls what it could
// show whole, and leaves an empty band under its content.)
class SheetScrollContent : public QWidget {
public:
    using QWidget::QWidget;
    QSize minimumSizeHint() const override { return {QWidget::minimumSizeHint().width(), 0}; }
};

// A question before an action (a deletion). A message box takes the width of its title and wraps
// the message into a narrow column beside it: this one is as wide as the program's other sheets,
// with the message on a few wide lines.
class ConfirmationSheet : public QMessageBox {
public:
    static constexpr int sheetWidth = 480;

    using QMessageBox::QMessageBox;

    // After each time the box sizes itself anew (shown, laid out again, its texts changed, its font
    // or style).
    void widen();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace velquin
