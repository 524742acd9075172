#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

// Every pointer button and motion event of the X11 display, real or synthetic, seen through the
// RECORD extension on display connections of its own, in a thread of its own.
namespace halvern {

struct X11PointerEvent {
    enum Type { buttonPress = 4, buttonRelease = 5, motionNotify = 6 };

    int type = motionNotify;
    int button = 0;         // the button of a press or release
    int rootX = 0;          // position on the root window when the event happened
    int rootY = 0;
    quint32 time = 0;       // the server's time stamp, milliseconds
    unsigned state = 0;     // buttons and modifiers held before the event
    // When this program's listener received it (its own clock, not the server's).
    std::chrono::steady_clock::time_point received{};
};

class X11RecordMonitor : public QObject {
    Q_OBJECT
public:
    explicit X11RecordMonitor(QObject* parent = nullptr);
    ~X11RecordMonitor() override;

    // Starts listening on the display named by DISPLAY. False when there is no X11 display or it
    // lacks the RECORD extension.
    bool start();
    // Stops listening and waits for the listener thread to end.
    void stop();
    bool isRunning() const { return running_; }

Q_SIGNALS:
    // Delivered on the thread this object lives in, in the order of the events.
    void pointerEvent(const halvern::X11PointerEvent& event);

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
    std::thread listener_;
    std::future<void> listenerEnded_;
    std::atomic<bool> running_{false};
};

}  // namespace halvern
