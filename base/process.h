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
};

// Runs a program to its end on the calling thread (it blocks; no event loop needed). Standard
// error goes to the null device, standard input is closed. The program is always waited for: on
// cancellation, a time-out or too much output it is terminated, then killed if it lingers, and
// reaped before this returns.
ProcessResult runProcess(const QString& program, const QStringList& arguments, const ProcessOptions& options = {});

}  // namespace base
