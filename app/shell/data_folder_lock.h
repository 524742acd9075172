#pragma once

#include <QString>

namespace velquin {

// Keeps a data folder to one running copy of the program, whichever desktop session (session bus)
// or machine sharing the home folder it runs in: two copies would each write their own state over
// the other's (tutor sessions, history). The running copy holds an exclusive lock on a file in the
// folder while it lives. The system lets go of it when the process ends in any way (a crash,
// SIGKILL), so a file that an ended copy left behind is taken over by the next start; the file is
// never removed, since a copy that opened it just before could then lock a file nobody else sees.
// The lock is an open-file-description lock (fcntl), which NFS carries between machines. The file
// names the holder for whoever finds it held.
class DataFolderLock {
public:
    static inline const QString fileName = QStringLiteral("instance.lock");

    // A running copy, as it describes itself in the file (what it did not write is empty or 0).
    struct Holder {
        QString host;
        QString display;
        qint64 pid = 0;
        bool operator==(const Holder&) const = default;

        // This process: the machine's host name, the display it shows on and its process id.
        static Holder thisProcess();
    };
    struct Result {
        enum class State {
            locked,       // this process holds the folder
            inUse,        // another process holds it: `holder`
            unavailable,  // nothing could be locked (no data folder, a file system without locks): `reason`
        };
        State state = State::locked;
        Holder holder;
        QString reason;
        bool operator==(const Result&) const = default;
    };

    // The lock of `folder` (empty when there is no data folder). Nothing happens before acquire().
    explicit DataFolderLock(QString folder);
    // Lets go of the lock.
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    const QString& folder() const { return folder_; }
    // Takes the lock at once or not at all (the folder is created 0700 when missing) and, once
    // taken, writes `self` into the file. Again after it is held: held still.
    Result acquire(const Holder& self = Holder::thisProcess());

private:
    QString folder_;
    int descriptor_ = -1;
};

}  // namespace velquin
