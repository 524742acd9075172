#include "tests/support/process_tree.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QVariant>

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace orveltest {

namespace {

constexpr const char* kMarkName = "ORVEL_TEST_TREE";
constexpr const char* kMarkProperty = "orvelTestTree";
constexpr const char* kLeaderProperty = "orvelTestTreeLeader";
// The rest of a tree gets this long to end on SIGTERM before it is killed.
constexpr int kHelperGraceMs = 1000;
constexpr int kGiveUpMs = 20000;

struct Process {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    char state = '?';
    std::string name;
};

// What a /proc file holds, or as much of it as was read: a process may end while it is read, and
// the read then fails with ESRCH (which a stream buffer would throw from its underflow).
std::string contents(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        text.append(buffer, size_t(count));
    }
    ::close(fd);
    return text;
}

// Every process of the system, from /proc/PID/stat: "PID (NAME) STATE PARENT GROUP …" (the name
// may hold spaces and parentheses, so the fields after it are counted from its last ")").
std::vector<Process> processTable() {
    std::vector<Process> table;
    DIR* proc = opendir("/proc");
    if (!proc) return table;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        const std::string stat = contents(std::string("/proc/") + entry->d_name + "/stat");
        const auto open = stat.find('(');
        const auto close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size()) continue;
        Process process;
        process.pid = pid_t(pid);
        process.name = stat.substr(open + 1, close - open - 1);
        int parent = 0, group = 0;
        if (std::sscanf(stat.c_str() + close + 2, "%c %d %d", &process.state, &parent, &group) != 3) continue;
        process.parent = parent;
        process.group = group;
        table.push_back(process);
    }
    closedir(proc);
    return table;
}

bool carriesMark(pid_t pid, const std::string& mark) {
    const std::string environment = '\0' + contents("/proc/" + std::to_string(pid) + "/environ");
    return environment.find('\0' + std::string(kMarkName) + '=' + mark + '\0') != std::string::npos;
}

// The processes `seed` picks (never this one) and all their descendants.
std::vector<Process> treeOf(const std::function<bool(const Process&)>& seed) {
    const std::vector<Process> table = processTable();
    const pid_t self = getpid();
    std::set<pid_t> members;
    for (const Process& process : table)
        if (process.pid != self && seed(process)) members.insert(process.pid);
    for (bool grew = true; grew;) {
        grew = false;
        for (const Process& process : table)
            if (process.pid != self && !members.count(process.pid) && members.count(process.parent))
                grew = members.insert(process.pid).second;
    }
    std::vector<Process> tree;
    for (const Process& process : table)
        if (members.count(process.pid)) tree.push_back(process);
    return tree;
}

// SIGTERM to every process of the tree, SIGKILL to those left after `graceMs`, until none is
// left; the ones that are (or became) this process's children are reaped here, the others by
// their parents.
void endTree(const std::function<bool(const Process&)>& seed, int graceMs) {
    const pid_t self = getpid();
    std::set<pid_t> asked;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        std::vector<Process> tree = treeOf(seed);
        std::erase_if(tree, [self](const Process& process) {
            return process.parent == self && waitpid(process.pid, nullptr, WNOHANG) == process.pid;
        });
        if (tree.empty()) return;
        if (timer.elapsed() > kGiveUpMs) {
            for (const Process& process : tree)
                std::fprintf(stderr, "process tree: %d (%s, state %c, parent %d) did not end\n", int(process.pid),
                             process.name.c_str(), process.state, int(process.parent));
            return;
        }
        for (const Process& process : tree) {
            if (process.state == 'Z') continue;
            if (asked.insert(process.pid).second)
                ::kill(process.pid, SIGTERM);
            else if (timer.elapsed() >= graceMs)
                ::kill(process.pid, SIGKILL);
        }
        usleep(20000);
    }
}

}  // namespace

void adoptOrphans() { prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0); }

void ownProcessTree(QProcess& process) {
    static std::atomic<int> trees{0};
    const QString mark = QStringLiteral("%1.%2").arg(getpid()).arg(++trees);
    QProcessEnvironment environment = process.processEnvironment();
    if (environment.isEmpty()) environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kMarkName), mark);
    process.setProcessEnvironment(environment);
    process.setProperty(kMarkProperty, mark);
    process.setChildProcessModifier([] { setpgid(0, 0); });
    // The program's id is its group's, and stays known after the program ended.
    QObject::connect(&process, &QProcess::stateChanged, &process, [&process] {
        if (process.processId() != 0) process.setProperty(kLeaderProperty, process.processId());
    });
}

void endProcessTree(QProcess& process, int graceMs) {
    if (process.processId() != 0) process.setProperty(kLeaderProperty, process.processId());
    const pid_t leader = pid_t(process.property(kLeaderProperty).toLongLong());
    const std::string mark = process.property(kMarkProperty).toString().toStdString();
    if (process.state() != QProcess::NotRunning) {
        if (graceMs > 0) {
            process.terminate();
            process.waitForFinished(graceMs);
        }
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    if (leader <= 0) return;
    endTree(
        [leader, &mark](const Process& candidate) {
            return candidate.group == leader || (!mark.empty() && carriesMark(candidate.pid, mark));
        },
        kHelperGraceMs);
}

void endDescendants(int graceMs) {
    const pid_t self = getpid();
    endTree([self](const Process& candidate) { return candidate.parent == self; }, graceMs);
}

}  // namespace orveltest
