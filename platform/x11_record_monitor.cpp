#include "platform/x11_record_monitor.h"

#include <QMetaObject>

#include <chrono>

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>

namespace halvern {

struct X11RecordMonitor::Connection {
    Display* control = nullptr;  // creates, disables and frees the context
    Display* data = nullptr;     // carries the recorded events, used by the listener thread only
    XRecordContext context = 0;

    ~Connection() {
        if (context && control) XRecordFreeContext(control, context);
        if (data) XCloseDisplay(data);
        if (control) XCloseDisplay(control);
    }
};

namespace {

// The monitor outlives its listener thread (stop() joins it), and events posted to it are dropped
// if it is destroyed before they are delivered.
struct Delivery {
    X11RecordMonitor* monitor = nullptr;
};

void deliver(XPointer closure, XRecordInterceptData* data) {
    auto* delivery = reinterpret_cast<Delivery*>(closure);
    if (data->category == XRecordFromServer && data->data && data->data_len * 4 >= sizeof(xEvent)) {
        const auto* event = reinterpret_cast<const xEvent*>(data->data);
        X11PointerEvent pointer;
        pointer.type = event->u.u.type & 0x7f;
        pointer.button = event->u.u.detail;
        pointer.rootX = event->u.keyButtonPointer.rootX;
        pointer.rootY = event->u.keyButtonPointer.rootY;
        pointer.time = event->u.keyButtonPointer.time;
        pointer.state = event->u.keyButtonPointer.state;
        pointer.received = std::chrono::steady_clock::now();
        if (pointer.type == ButtonPress || pointer.type == ButtonRelease || pointer.type == MotionNotify) {
            X11RecordMonitor* monitor = delivery->monitor;
            QMetaObject::invokeMethod(
                monitor, [monitor, pointer] { Q_EMIT monitor->pointerEvent(pointer); }, Qt::QueuedConnection);
        }
    }
    XRecordFreeData(data);
}

}  // namespace

X11RecordMonitor::X11RecordMonitor(QObject* parent) : QObject(parent) {}

X11RecordMonitor::~X11RecordMonitor() { stop(); }

bool X11RecordMonitor::start() {
    if (running_) return true;
    auto connection = std::make_unique<Connection>();
    connection->control = XOpenDisplay(nullptr);
    connection->data = XOpenDisplay(nullptr);
    if (!connection->control || !connection->data) return false;
    int major = 0, minor = 0;
    if (!XRecordQueryVersion(connection->control, &major, &minor)) return false;

    XRecordClientSpec clients = XRecordAllClients;
    XRecordRange* range = XRecordAllocRange();
    if (!range) return false;
    range->device_events.first = ButtonPress;
    range->device_events.last = MotionNotify;
    connection->context = XRecordCreateContext(connection->control, 0, &clients, 1, &range, 1);
    XFree(range);
    if (!connection->context) return false;
    XSync(connection->control, False);

    connection_ = std::move(connection);
    running_ = true;
    Display* data = connection_->data;
    const XRecordContext context = connection_->context;
    std::promise<void> ended;
    listenerEnded_ = ended.get_future();
    listener_ = std::thread([data, context, delivery = Delivery{this}, ended = std::move(ended)]() mutable {
        // Blocks until the context is disabled.
        XRecordEnableContext(data, context, deliver, reinterpret_cast<XPointer>(&delivery));
        ended.set_value();
    });
    return true;
}

void X11RecordMonitor::stop() {
    if (!running_) return;
    // Disabling has no effect on a context that is not enabled yet, and the listener thread may not
    // have enabled it when a stop follows a start closely: repeat until the listener has returned.
    do {
        XRecordDisableContext(connection_->control, connection_->context);
        XSync(connection_->control, False);
    } while (listenerEnded_.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
    if (listener_.joinable()) listener_.join();
    connection_.reset();
    running_ = false;
}

}  // namespace halvern
