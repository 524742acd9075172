#include "platform/screen_text_capture.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "base/files.h"
#include "base/task.h"

extern char** environ;

namespace halvern {

QString CaptureFailure::message() const {
    switch (case_) {
    case Case::unavailable:
        return QStringLiteral("无法启动系统截图。可按 Shift-Ctrl-PrtSc 截图到剪贴板，再点“粘贴图片”。");
    case Case::noImage:
        return QStringLiteral("没有取得截图，可能已取消或尚未获得屏幕录制权限。可重试，或使用系统截图后点“粘贴图片”。");
    case Case::failed:
        return QStringLiteral("系统截图未完成。请检查桌面的屏幕录制权限，或手动截图后点“粘贴图片”。");
    }
    return {};
}

QStringList ScreenTextCapture::captureArguments(const QString& outputPath) {
    return {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("png"), outputPath};
}

namespace {

// One capture, shared by the worker and the cancellation handler. `mutex` guards `pid` and
// `cancelled`. The program is started while the mutex is held, so the handler either finds no
// program (and the worker then sees `cancelled` before starting one) or a started one, which it
// ends. The mutex is never held while waiting for the program.
struct RegionCaptureJob {
    std::mutex mutex;
    pid_t pid = 0;  // the running program (its own process group); 0 before and after
    bool cancelled = false;

    // How long a cancelled program may take to end on SIGTERM before its group is killed.
    static constexpr std::chrono::milliseconds killGrace{1000};

    // Waits for the program to end without reaping it, so the handler's signal cannot reach a
    // reused id. Once cancelled, a program that does not end on SIGTERM is killed after killGrace.
    void waitForEnd(pid_t child) {
        int exitFd = -1;
#ifdef SYS_pidfd_open
        exitFd = int(::syscall(SYS_pidfd_open, child, 0));
#endif
        std::optional<std::chrono::steady_clock::time_point> killAt;
        bool killed = false;
        for (;;) {
            siginfo_t info {};
            if (::waitid(P_PID, id_t(child), &info, WEXITED | WNOWAIT | WNOHANG) == 0) {
                if (info.si_pid == child) break;
            } else if (errno != EINTR) {
                break;
            }
            if (!killAt) {
                std::lock_guard lock(mutex);
                if (cancelled) killAt = std::chrono::steady_clock::now() + killGrace;
            }
            if (killAt && !killed && std::chrono::steady_clock::now() >= *killAt) {
                ::kill(-child, SIGKILL);
                killed = true;
            }
            // Sleeps until the program ends, at most a moment, then looks again.
            if (exitFd >= 0) {
                pollfd ended {exitFd, POLLIN, 0};
                ::poll(&ended, 1, 50);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        if (exitFd >= 0) ::close(exitFd);
    }

    void cancel() {
        std::lock_guard lock(mutex);
        cancelled = true;
        // The program is not reaped before `pid` is cleared, so the id cannot name another process.
        if (pid > 0) ::kill(-pid, SIGTERM);
    }

    ImportedText run(const base::CancellationToken& cancellation, const QString& program) {
        cancellation.throwIfCancelled();
        // Removed with its contents on every way out.
        base::StagingFolder folder = base::StagingFolder::create(ScreenTextCapture::folderPrefix);
        const QString picture = folder.filePath(ScreenTextCapture::pictureName);

        const QByteArray programBytes = QFile::encodeName(program);
        std::vector<QByteArray> argumentBytes{programBytes};
        for (const QString& argument : ScreenTextCapture::captureArguments(picture)) argumentBytes.push_back(QFile::encodeName(argument));
        std::vector<char*> argv;
        for (QByteArray& argument : argumentBytes) argv.push_back(argument.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
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
        struct SpawnCleanup {
            posix_spawn_file_actions_t* actions;
            posix_spawnattr_t* attributes;
            ~SpawnCleanup() {
                posix_spawn_file_actions_destroy(actions);
                posix_spawnattr_destroy(attributes);
            }
        } spawnCleanup{&actions, &attributes};

        pid_t child = 0;
        {
            std::unique_lock lock(mutex);
            if (cancelled) throw base::CancellationError();
            const int launch = ::posix_spawn(&child, programBytes.constData(), &actions, &attributes, argv.data(), environ);
            if (launch != 0) throw CaptureFailure(CaptureFailure::Case::unavailable);
            pid = child;
        }

        waitForEnd(child);
        bool wasCancelled = false;
        {
            std::lock_guard lock(mutex);
            pid = 0;
            wasCancelled = cancelled;
        }
        // Nothing of a cancelled capture outlives it: whatever is left of the program's group goes
        // too (the id is still reserved, the program is not reaped yet).
        if (wasCancelled) ::kill(-child, SIGKILL);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (wasCancelled) throw base::CancellationError();

        if (!QFileInfo::exists(picture)) throw CaptureFailure(CaptureFailure::Case::noImage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw CaptureFailure(CaptureFailure::Case::failed);

        const ImportedText extracted = ImportService::extractFile(QUrl::fromLocalFile(picture), std::nullopt, cancellation);
        return {extracted.text,
                QStringLiteral("已在本机识别你框选的截图；临时截图已清理。请核对数字和公式，再点击翻译 / 讲解 / 练习题发送。")};
    }
};

}  // namespace

ImportedText ScreenTextCapture::captureBlocking(const base::CancellationToken& cancellation, const QString& program) {
    // Shared with the handler, which may still be running on the cancelling thread after run() ends.
    auto job = std::make_shared<RegionCaptureJob>();
    base::CancelCallbackScope onCancel(cancellation, [job] { job->cancel(); });
    return job->run(cancellation, program);
}

// Not a coroutine itself: the arguments are moved into the worker's closure at once.
QCoro::Task<ImportedText> ScreenTextCapture::recognizeSelectedRegion(base::CancellationToken cancellation, QString program) {
    return base::runBlocking([cancellation = std::move(cancellation), program = std::move(program)] {
        return captureBlocking(cancellation, program);
    });
}

}  // namespace halvern
