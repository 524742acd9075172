// The pointer monitors: every other program's pointer events through the X RECORD extension (a
// click in one of this program's own windows, its menus and tray icon included, or on a panel of
// the desktop, is no gesture in the program behind them), on a Wayland session also the gestures in
// native windows that GNOME Shell's extension tells of, and left presses in this program's own
// windows through an event filter on the application.
#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

#include <optional>
#include <utility>

#include "app/select-anywhere/native_selection_gestures.h"
#include "app/select-anywhere/selection_services.h"
#include "app/shell/display_platform.h"
#include "platform/selection_mouse_event.h"
#include "platform/x11_record_monitor.h"
#include "platform/x11_windows.h"

namespace velquin {

namespace {

using Event = halvern::SelectionMouseEvent;

class LocalPressFilter : public QObject {
public:
    explicit LocalPressFilter(std::function<void(QPointF)> handler) : handler_(std::move(handler)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        // Each press is seen once, by the window it went to. Presses in menus (the status item's
        // among them) and on the icon in the tray, which the window manager never sees, are not
        // clicks in the program's windows.
        if (event->type() != QEvent::MouseButtonPress || !watched->isWindowType()) return false;
        const auto* window = static_cast<QWindow*>(watched);
        if (window->type() != Qt::Popup && !window->flags().testFlag(Qt::BypassWindowManagerHint)) {
            const auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton) handler_(press->globalPosition());
        }
        return false;
    }

private:
    std::function<void(QPointF)> handler_;
};

// The server's time stamp of the last left press that went to one of this program's windows, its
// menus and tray icon included.
class OwnPressTime : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress && watched->isWindowType() &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            time = quint32(static_cast<QMouseEvent*>(event)->timestamp());
        return false;
    }

    std::optional<quint32> time;
};

class RecordSelectionMonitors : public SelectionMonitors {
public:
    bool startGlobal(std::function<void(const Event&)> handler) override {
        stopGlobal();
        if (!halvern::x11::available()) return false;
        auto monitor = std::make_unique<halvern::X11RecordMonitor>();
        auto translator = std::make_shared<halvern::PointerEventTranslator>(halvern::PointerEventTranslator::fromDesktop());
        auto skipPress = std::make_shared<bool>(false);
        auto* ownPress = new OwnPressTime(monitor.get());
        qApp->installEventFilter(ownPress);
        QObject::connect(monitor.get(), &halvern::X11RecordMonitor::pointerEvent, monitor.get(),
                         [translator, skipPress, ownPress, handler](const halvern::X11PointerEvent& raw) {
                             // The translator sees every event, so that it counts clicks and drags.
                             const auto pointer = translator->translate(raw);
                             if (!pointer) return;
                             switch (pointer->type) {
                             case Event::leftMouseDown:
                                 // A press this program took already may have closed the menu it
                                 // went to (its item released) before this arrives.
                                 *skipPress = raw.time == ownPress->time || halvern::x11::pointerOverOwnWindowOrPanel();
                                 if (*skipPress) return;
                                 break;
                             case Event::leftMouseDragged:
                                 if (*skipPress) return;
                                 break;
                             case Event::leftMouseUp:
                                 // A menu closes as its item is released, maybe before this arrives:
                                 // the press tells whose click it was.
                                 if (std::exchange(*skipPress, false) || halvern::x11::pointerOverOwnWindowOrPanel())
                                     return;
                                 break;
                             case Event::scrollWheel:
                                 if (halvern::x11::pointerOverOwnWindowOrPanel()) return;
                                 break;
                             default: return;
                             }
                             handler(Event::capture(*pointer));
                         });
        if (!monitor->start()) return false;
        global_ = std::move(monitor);
        // Native windows of a Wayland session: their gestures come through GNOME Shell's extension.
        if (DisplayPlatform::isWaylandSession(&DisplayPlatform::processVariable))
            native_ = std::make_unique<NativeSelectionGestures>(halvern::ShellPointer::shared(), handler);
        return true;
    }

    void stopGlobal() override {
        native_.reset();
        global_.reset();
    }

    bool startLocal(std::function<void(QPointF)> handler) override {
        if (!qApp) return false;
        local_ = std::make_unique<LocalPressFilter>(std::move(handler));
        qApp->installEventFilter(local_.get());
        return true;
    }

    void stopLocal() override {
        if (local_ && qApp) qApp->removeEventFilter(local_.get());
        local_.reset();
    }

    ~RecordSelectionMonitors() override {
        stopGlobal();
        stopLocal();
    }

private:
    std::unique_ptr<halvern::X11RecordMonitor> global_;
    std::unique_ptr<NativeSelectionGestures> native_;
    std::unique_ptr<LocalPressFilter> local_;
};

}  // namespace

std::shared_ptr<SelectionMonitors> makeRecordSelectionMonitors() { return std::make_shared<RecordSelectionMonitors>(); }

}  // namespace velquin
