#include "app/shell/sheet_window.h"

#include <QDialog>
#include <QEvent>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace velquin {

namespace {

const char* const kPlacementName = "orvel-sheet-placement";

// Keeps a sheet centred over its window and inside the screen's available area: the window
// manager may place the window only after the sheet was made (the first-setup sheet opens while
// the window maps), the window may move, and the sheet may change its size as it lays itself out
// (a message box takes its size only when it is shown) or as its content changes.
class SheetPlacement : public QObject {
public:
    SheetPlacement(QDialog* sheet, QWidget* window) : QObject(sheet), sheet_(sheet), window_(window) {
        setObjectName(QLatin1String(kPlacementName));
        window->installEventFilter(this);
        sheet->installEventFilter(this);
    }

    void centre() {
        if (!window_) return;
        // The client areas share their centre (move() would place the frame).
        QRect placed(window_->geometry().center() - QPoint(sheet_->width() / 2, sheet_->height() / 2), sheet_->size());
        if (const QScreen* screen = window_->screen()) {
            // The sheet's frame is the window's until the window manager has framed the sheet.
            const bool framed = sheet_->isVisible() && sheet_->frameGeometry() != sheet_->geometry();
            const QWidget* framing = framed ? static_cast<QWidget*>(sheet_) : window_.data();
            const QRect frame = framing->frameGeometry();
            const QRect client = framing->geometry();
            const QRect area =
                screen->availableGeometry().adjusted(client.left() - frame.left(), client.top() - frame.top(),
                                                     client.right() - frame.right(), client.bottom() - frame.bottom());
            // No larger than the area (a sheet whose own least size is larger scrolls its content
            // or stays at that size); the left and top edges win where it is larger: its title
            // stays within reach.
            // A sheet whose content needs more than the area gets a scroll area for it.
            const QSize least = sheet_->minimumSize().expandedTo(sheet_->minimumSizeHint());
            if (least.width() > area.width() || least.height() > area.height()) scrollContent();
            const QSize most = sheet_->maximumSize().boundedTo(area.size());
            if (most != sheet_->maximumSize()) {
                sheet_->setMaximumSize(most);
                placed.setSize(sheet_->size());
            }
            placed.moveLeft(std::max(std::min(placed.left(), area.right() - placed.width() + 1), area.left()));
            placed.moveTop(std::max(std::min(placed.top(), area.bottom() - placed.height() + 1), area.top()));
        }
        if (placed != sheet_->geometry()) sheet_->setGeometry(placed);
    }

protected:
    // Moves the sheet's layout, with the controls it holds, into a scroll area that becomes the
    // sheet's only content. Once only: a sheet keeps it.
    void scrollContent() {
        QLayout* own = sheet_->layout();
        if (scrolled_ || !own || qobject_cast<QMessageBox*>(sheet_)) return;
        scrolled_ = true;
        auto* scroller = new QScrollArea(sheet_);
        scroller->setFrameShape(QFrame::NoFrame);
        scroller->setWidgetResizable(true);
        scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroller->viewport()->setAutoFillBackground(false);
        auto* content = new QWidget(scroller);
        content->setAutoFillBackground(false);
        // The layout and the widgets it places move over (a layout is taken from its widget).
        content->setLayout(own);
        scroller->setWidget(content);
        auto* wrapper = new QVBoxLayout(sheet_);
        wrapper->setContentsMargins(0, 0, 0, 0);
        wrapper->addWidget(scroller);
        // The sheet's own least size was its content's; now the scroll area's is.
        sheet_->setMinimumSize(0, 0);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == window_ && sheet_->isVisible() &&
            (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show))
            centre();
        if (watched == sheet_) {
            // Sizes the sheet gives itself; one a person drags it to is left to the window manager.
            if (type == QEvent::Resize && sheet_->isVisible() && !event->spontaneous()) centre();
            // Before it maps, and once more after it has laid itself out on showing.
            if (type == QEvent::Show) {
                centre();
                QMetaObject::invokeMethod(this, &SheetPlacement::centre, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    QDialog* sheet_;
    QPointer<QWidget> window_;
    bool scrolled_ = false;
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

std::optional<int> availableScreenHeight(const QWidget* sheet) {
    const QWidget* window = sheet->parentWidget() ? sheet->parentWidget()->window() : sheet;
    const QScreen* screen = window->screen();
    return screen ? std::optional<int>(screen->availableGeometry().height()) : std::nullopt;
}

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
    // A sheet opened again (a confirmation kept for the next time) keeps its one placement.
    auto* placement = sheet->findChild<QObject*>(QLatin1String(kPlacementName), Qt::FindDirectChildrenOnly);
    if (window && !placement) placement = new SheetPlacement(sheet, window);
    if (placement) static_cast<SheetPlacement*>(placement)->centre();
    sheet->open();
}

void ConfirmationSheet::widen() {
    if (!isVisible() || width() >= sheetWidth) return;
    layout()->activate();
    setFixedSize(sheetWidth, layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(sheetWidth)
                                                           : layout()->totalMinimumSize().height());
}

bool ConfirmationSheet::event(QEvent* event) {
    const bool handled = QMessageBox::event(event);
    if (event->type() == QEvent::LayoutRequest) widen();
    return handled;
}

void ConfirmationSheet::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    widen();
}

void ConfirmationSheet::changeEvent(QEvent* event) {
    QMessageBox::changeEvent(event);
    widen();
}

}  // namespace velquin
