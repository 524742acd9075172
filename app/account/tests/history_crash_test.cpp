#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/account/account_data_scope.h"
#include "app/account/learning_record.h"
#include "base/files.h"

namespace {

// Starts the writer program with its standard output on a pipe; returns its pid and the pipe.
pid_t startWriter(const QString& dataFolder, const QString& account, int answerLength, int* output) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    const QByteArray program(HISTORY_WRITER);
    const QByteArray folder = QFile::encodeName(dataFolder);
    const QByteArray id = account.toUtf8();
    const QByteArray length = QByteArray::number(answerLength);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::dup2(fds[1], STDOUT_FILENO);
        ::execl(program.constData(), program.constData(), folder.constData(), id.constData(), length.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return -1;
    }
    *output = fds[0];
    return pid;
}

// Waits for the writer's "writing" line; false when it ended first.
bool waitUntilWriting(int output) {
    QByteArray seen;
    char buffer[64];
    while (!seen.contains("writing\n")) {
        const ssize_t n = ::read(output, buffer, sizeof buffer);
        if (n <= 0) return false;
        seen.append(buffer, n);
    }
    return true;
}

// The source of the last record the ended writer reported as saved; empty when it saved none.
QString lastSaved(int output) {
    QByteArray seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(output, buffer, sizeof buffer)) > 0;) seen.append(buffer, n);
    const QByteArray marker("saved ");
    const qsizetype end = seen.lastIndexOf('\n');
    if (end < 0) return {};
    const qsizetype start = seen.lastIndexOf('\n', end - 1) + 1;
    const QByteArray line = seen.mid(start, end - start);
    return line.startsWith(marker) ? QString::fromUtf8(line.mid(marker.size())) : QString();
}

}  // namespace

// A writer killed at any moment of a save leaves either the old or the new history, never a file
// that fails to load, and every record it reported as saved is in the file.
TEST(HistoryCrash, KilledWriterNeverLeavesAnUnreadableFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString account = QStringLiteral("crash_test_account");
    const QString path = *velquin::AccountDataScope::learningHistoryURL(account, dir.path());
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    QRandomGenerator random(seed);

    int saves = 0;
    bool existed = false;
    for (int round = 0; round < 200; ++round) {
        int output = -1;
        const pid_t pid = startWriter(dir.path(), account, 1500, &output);
        ASSERT_GT(pid, 0);
        const bool writing = waitUntilWriting(output);
        if (writing) std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(30000)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const QString saved = lastSaved(output);
        ::close(output);
        ASSERT_TRUE(writing) << "the writer ended on its own in round " << round;
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "round " << round;

        // A writer killed before its first save leaves no file; once there is one, it stays.
        if (!QFileInfo::exists(path)) {
            ASSERT_FALSE(existed) << "the history disappeared in round " << round;
            ASSERT_TRUE(saved.isEmpty()) << "a saved record is missing in round " << round;
            continue;
        }
        existed = true;
        QList<velquin::LearningRecord> records;
        ASSERT_NO_THROW(records = velquin::learning_history::decode(
                            base::files::readCapped(path, velquin::learning_history::maxFileBytes)))
            << "round " << round;
        if (saved.isEmpty()) continue;
        ++saves;
        const bool kept = std::any_of(records.cbegin(), records.cend(),
                                      [&](const velquin::LearningRecord& record) { return record.source == saved; });
        ASSERT_TRUE(kept) << "round " << round << " lost " << saved.toStdString();
    }
    // Some writers got as far as a save before they were killed (how many depends on the machine).
    EXPECT_GT(saves, 0);
    const QStringList aside = QDir(QFileInfo(path).absolutePath()).entryList({QStringLiteral("*.unreadable-*")});
    EXPECT_TRUE(aside.isEmpty());
}
