#include "app/shell/sheet_window.h"

#include <QDialog>
#include <QEvent>
#include <QPointer>

namespace velquin {

namespace {

// Keeps a sheet centred over its window: the window manager may place the window only after the
// sheet was made (the first-setup sheet opens while the window maps), and the window may move.
class SheetPlacement : public QObject {
public:
    SheetPlacement(QDialog* sheet, QWidget* window) : QObject(sheet), sheet_(sheet), window_(window) {
        window->installEventFilter(this);
    }

    void centre() {
        if (!window_) return;
        const QRect over = window_->geometry();
        // The client areas share their centre (move() would place the frame).
        sheet_->setGeometry(QRect(over.center() - QPoint(sheet_->width() / 2, sheet_->height() / 2), sheet_->size()));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && sheet_->isVisible() &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show))
            centre();
        return false;
    }

private:
    QDialog* sheet_;
    QPointer<QWidget> window_;
};

// Runs `open` once `window` is shown.
class WhenShown : public QObject {
public:
    WhenShown(QWidget* window, QDialog* sheet, void (*open)(QDialog*)) : QObject(sheet), sheet_(sheet), open_(open) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            // After the window's own handling of the event, which maps it.
            QMetaObject::invokeMethod(
                sheet_, [sheet = sheet_, open = open_] { open(sheet); }, Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }

private:
    QDialog* sheet_;
    void (*open_)(QDialog*);
};

}  // namespace

void openSheet(QDialog* sheet) {
    QWidget* window = sheet->parentWidget() ? sheet->parentWidget()->window() : nullptr;
    if (window && !window->isVisible()) {
        // The first-setup sheet is asked for while the window is still to be shown: it opens over
        // the window once the window is there, as its dialog.
        new WhenShown(window, sheet, &openSheet);
        return;
    }
    // A dialog with a title and a close button only; window managers that follow the Motif hints
    // then offer neither minimising nor maximising.
    sheet->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    sheet->setWindowModality(Qt::WindowModal);
    if (window) {
        auto* placement = new SheetPlacement(sheet, window);
        placement->centre();
    }
    sheet->open();
}

}  // namespace velquin
