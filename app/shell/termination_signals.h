#pragma once

#include <QObject>

class QSocketNotifier;

namespace velquin {

// Turns SIGTERM, SIGINT and SIGHUP into a normal quit of the event loop (the handler only writes
// to a pipe; the main thread reads it and calls QCoreApplication::quit), so that the application's
// termination steps run. SIGXFSZ is ignored: a file that reaches the size limit fails to write
// instead of ending the process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for the life of the process; later calls do nothing.
    static void install();

private:
    TerminationSignals();
    static void handle(int signal);
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velquin
