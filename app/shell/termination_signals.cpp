#include "app/shell/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace velquin {

namespace {

int signalPipe[2] = {-1, -1};

}  // namespace

void TerminationSignals::install() {
    static TerminationSignals* installed = nullptr;
    if (installed) return;
    installed = new TerminationSignals();
}

TerminationSignals::TerminationSignals() : QObject(QCoreApplication::instance()) {
    std::signal(SIGXFSZ, SIG_IGN);
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = &TerminationSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void TerminationSignals::handle(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void TerminationSignals::drain() {
    char bytes[64];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
}

}  // namespace velquin
