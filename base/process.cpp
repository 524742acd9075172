#include "base/process.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

extern char** environ;

namespace base {

QString ProcessError::message() const {
    switch (kind_) {
    // "无法启动程序：<program>：文件或文件夹不存在": the string table translates the prefix and the
    // detail, and keeps the program's name as it stands.
    case Kind::failedToStart:
        if (detail_.isEmpty()) return QStringLiteral("无法启动程序：") + program_;
        if (isInterfaceText(detail_)) return QStringLiteral("无法启动程序：") + program_ + QChar(0xFF1A) + detail_;
        return QStringLiteral("无法启动程序：") + program_ + QStringLiteral(" (") + detail_ + u')';
    case Kind::outputTooLarge: return QStringLiteral("程序输出过多：") + program_;
    case Kind::timedOut: return QStringLiteral("程序未能按时结束：") + program_;
    }
    return {};
}

namespace {

using Clock = std::chrono::steady_clock;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// The spawn attributes: a process group of its own, no blocked signals, and the default action for
// the signals a parent may ignore; standard input and error on the null device, output to `out`.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

    explicit SpawnSetup(int out) {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out, 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attributes, 0);
        sigset_t signalSet;
        sigemptyset(&signalSet);
        posix_spawnattr_setsigmask(&attributes, &signalSet);
        sigaddset(&signalSet, SIGTERM);
        sigaddset(&signalSet, SIGINT);
        sigaddset(&signalSet, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &signalSet);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

// The running program, shared with the cancellation callback. `mutex` guards `pid` and
// `cancelled`. The program is started while the mutex is held, so the callback either finds no
// program (and the runner then sees `cancelled` before starting one) or a started one, which it
// signals. `pid` is cleared before the program is reaped, so no signal reaches a reused id.
struct Child {
    std::mutex mutex;
    pid_t pid = 0;
    bool cancelled = false;

    void cancel() {
        std::lock_guard lock(mutex);
        cancelled = true;
        if (pid > 0) ::kill(-pid, SIGTERM);
    }
    bool isCancelled() {
        std::lock_guard lock(mutex);
        return cancelled;
    }
};

// Whether the program has ended, leaving it unreaped.
bool hasEnded(pid_t pid) {
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT | WNOHANG) == 0) return info.si_pid == pid;
    return errno != EINTR;
}

}  // namespace

ProcessResult runProcess(const QString& program, const QStringList& arguments, const ProcessOptions& options) {
    options.cancellation.throwIfCancelled();

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw ProcessError(ProcessError::Kind::failedToStart, program, systemErrorText(errno));
    FileDescriptor output(pipeEnds[0]);
    FileDescriptor input(pipeEnds[1]);
    ::fcntl(output.get(), F_SETFL, O_NONBLOCK);

    const QByteArray programBytes = QFile::encodeName(program);
    std::vector<QByteArray> argumentBytes{programBytes};
    for (const QString& argument : arguments) argumentBytes.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : argumentBytes) argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnSetup setup(input.get());
    // Shared with the callback, which may still be running on the cancelling thread after this returns.
    auto child = std::make_shared<Child>();
    CancelCallbackScope onCancel(options.cancellation, [child] { child->cancel(); });
    pid_t pid = 0;
    {
        std::lock_guard lock(child->mutex);
        if (child->cancelled) throw CancellationError();
        const int launch =
            ::posix_spawnp(&pid, programBytes.constData(), &setup.actions, &setup.attributes, argv.data(), environ);
        if (launch != 0) throw ProcessError(ProcessError::Kind::failedToStart, program, systemErrorText(launch));
        child->pid = pid;
    }
    input.reset();

#ifdef SYS_pidfd_open
    const FileDescriptor exitSignal(int(::syscall(SYS_pidfd_open, pid, 0)));
#else
    const FileDescriptor exitSignal;
#endif
    const Clock::time_point started = Clock::now();
    std::optional<ProcessError::Kind> failure;
    std::optional<Clock::time_point> killAt;
    bool killed = false;
    ProcessResult result;
    bool outputOpen = true;

    auto readOutput = [&] {
        char buffer[65536];
        for (;;) {
            const ssize_t count = ::read(output.get(), buffer, sizeof buffer);
            if (count > 0) {
                result.output.append(buffer, count);
                if (result.output.size() > options.maxOutputBytes) return;
                continue;
            }
            if (count == 0) outputOpen = false;
            if (count < 0 && errno == EINTR) continue;
            return;
        }
    };
    auto end = [&](ProcessError::Kind kind) {
        if (!failure) failure = kind;
        if (!killAt) {
            ::kill(-pid, SIGTERM);
            killAt = Clock::now() + options.killGrace;
        }
    };

    auto boundOutput = [&] {
        if (result.output.size() <= options.maxOutputBytes) return;
        result.output.clear();
        outputOpen = false;
        end(ProcessError::Kind::outputTooLarge);
    };
    while (!hasEnded(pid)) {
        if (outputOpen) readOutput();
        boundOutput();
        if (options.timeout.count() > 0 && Clock::now() - started >= options.timeout) end(ProcessError::Kind::timedOut);
        if (!killAt && child->isCancelled()) killAt = Clock::now() + options.killGrace;
        if (killAt && !killed && Clock::now() >= *killAt) {
            ::kill(-pid, SIGKILL);
            killed = true;
        }
        // Sleeps until output arrives or the program ends, at most a moment, then looks again.
        pollfd watched[2] = {{output.get(), POLLIN, 0}, {exitSignal.get(), POLLIN, 0}};
        ::poll(outputOpen ? watched : watched + 1, outputOpen ? 2 : 1, exitSignal.get() >= 0 ? 50 : 20);
    }
    if (outputOpen) readOutput();
    boundOutput();

    bool wasCancelled = false;
    {
        std::lock_guard lock(child->mutex);
        child->pid = 0;
        wasCancelled = child->cancelled;
    }
    // Nothing of an ended program outlives it: whatever is left of its group goes too (the group's
    // id is still reserved, the program is not reaped yet).
    if (wasCancelled || failure) ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (wasCancelled) throw CancellationError();
    if (failure) throw ProcessError(*failure, program);
    result.crashed = WIFSIGNALED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace base
