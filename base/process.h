#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

#include "base/cancellation.h"
#include "base/errors.h"

namespace base {

class ProcessError : public Error {
public:
    enum class Kind { failedToStart, outputTooLarge, timedOut };
    ProcessError(Kind kind, QString program, QString detail = {})
        : kind_(kind), program_(std::move(program)), detail_(std::move(detail)) {}
    Kind kind() const { return kind_; }
    QString message() const override;

private:
    Kind kind_;
    QString program_;
    QString detail_;
};

struct ProcessResult {
    int exitCode = -1;
    bool crashed = false;  // ended by a signal
    QByteArray output;     // standard output
};

struct ProcessOptions {
    qint64 maxOutputBytes = 64 * 1024 * 1024;  // more ends the program with outputTooLarge
    std::chrono::milliseconds timeout{0};      // 0: no limit
    CancellationToken cancellation;            // cancelling ends the program and throws CancellationError
    // How long an ended program may take to go on SIGTERM before its process group is killed.
    std::chrono::milliseconds killGrace{1000};
};

// Runs a program to its end on the calling thread (it blocks; no event loop needed), found on PATH
// when its name has no slash. Standard error goes to the null device, standard input reads the
// null device. The program runs in a process group of its own. It is always waited for: on
// cancellation (from any thread: the program is sent SIGTERM at once), a time-out or too much
// output its group is sent SIGTERM, then SIGKILL after killGrace if the program lingers, and what
// is left of the group is killed before the program is reaped and this returns.
ProcessResult runProcess(const QString& program, const QStringList& arguments, const ProcessOptions& options = {});

}  // namespace base
