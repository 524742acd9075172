#pragma once

#include <thread>

namespace velquin {

// Reads, on a thread of its own, what the main window's first text layout will ask for and what
// needs no application object: the font configuration (its files and caches) and the interface
// string table with its patterns. Started before the application object is made, so that both are ready, or
// nearly, by the time the window is built. Waits for the thread when it goes. The thread makes no
// QObject: the first thread that makes one while no application object exists becomes Qt's main
// thread, and the application object made meanwhile on the real one complains that it is not.
class StartupWarmUp {
public:
    StartupWarmUp();
    ~StartupWarmUp();
    StartupWarmUp(const StartupWarmUp&) = delete;
    StartupWarmUp& operator=(const StartupWarmUp&) = delete;

private:
    std::thread thread_;
};

}  // namespace velquin
