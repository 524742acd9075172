#include "base/process.h"

#include <QElapsedTimer>
#include <QProcess>

namespace base {

QString ProcessError::message() const {
    switch (kind_) {
    case Kind::failedToStart:
        return QStringLiteral("Could not start ") + program_ + (detail_.isEmpty() ? QString() : QStringLiteral(": ") + detail_);
    case Kind::outputTooLarge: return program_ + QStringLiteral(" produced too much output");
    case Kind::timedOut: return program_ + QStringLiteral(" did not finish in time");
    }
    return {};
}

namespace {

void endAndReap(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(1000)) {
        process.kill();
        process.waitForFinished(-1);
    }
}

}  // namespace

ProcessResult runProcess(const QString& program, const QStringList& arguments, const ProcessOptions& options) {
    options.cancellation.throwIfCancelled();
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        throw ProcessError(ProcessError::Kind::failedToStart, program, process.errorString());

    QElapsedTimer clock;
    clock.start();
    ProcessResult result;
    auto drain = [&] {
        result.output += process.readAllStandardOutput();
        if (result.output.size() > options.maxOutputBytes) {
            endAndReap(process);
            throw ProcessError(ProcessError::Kind::outputTooLarge, program);
        }
    };
    while (process.state() != QProcess::NotRunning) {
        if (options.cancellation.isCancelled()) {
            endAndReap(process);
            throw CancellationError();
        }
        if (options.timeout.count() > 0 && clock.elapsed() >= options.timeout.count()) {
            endAndReap(process);
            throw ProcessError(ProcessError::Kind::timedOut, program);
        }
        process.waitForReadyRead(20);
        drain();
    }
    drain();
    if (options.cancellation.isCancelled()) throw CancellationError();
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    return result;
}

}  // namespace base
