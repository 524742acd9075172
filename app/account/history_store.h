#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "app/account/learning_record.h"

namespace base {
class WorkScheduler;
}

namespace meridcore {
struct TeacherLearningSession;
}

namespace velquin {

class HistoryError;

// The learning history of whoever uses the application now: the records of the active scope in
// memory and the file they come from. Three scopes: guest (the account-less file), account (the
// file of one confirmed account) and pending (a session token is held but the account is not
// confirmed: no file, an empty list, nothing recorded). Switching reloads from disk and never
// writes. All operations run on the main thread and do their file work inside the call; only the
// session token is read away from it. A study answer added while that first read is under way
// waits for it: it is written into the guest history when no token is held, and dropped like any
// answer of the pending scope when one is (or when a scope was entered meanwhile).
//
// Data safety: a history file that exists but cannot be read, is oversized or does not decode is
// never overwritten; before the next write into that scope it is renamed, bytes unchanged, to
// "learning-history.json.unreadable-<time>" (0600). No write produces a file over 8,000,000 bytes.
// A change whose write fails is not applied, and `statusMessage` says why.
class HistoryStore : public QObject {
    Q_OBJECT

public:
    static constexpr qsizetype maxRecords = 500;
    static constexpr qsizetype maxTranscriptLength = 80000;  // characters of a lesson transcript

    // Reads the session token at start (the keychain in the application); it may block, and runs
    // away from the main thread. Throwing, giving nothing or an empty text all mean that no session
    // token is held.
    using SessionTokenLoader = std::function<std::optional<QString>()>;

    struct Options {
        // Replaces the user's data location (~/.local/share) when not empty; must be absolute.
        QString dataFolder;
        // Without one, no token is held and the store starts in the guest scope.
        SessionTokenLoader loadSessionToken;
        // Runs the token read; the shared scheduler on the global thread pool when not given.
        std::shared_ptr<base::WorkScheduler> scheduler;
    };

    // Starts in the guest scope without a token loader. With one it starts pending and reads the
    // token away from the main thread: when none is held, it then enters the guest scope, unless
    // the scope was switched meanwhile.
    explicit HistoryStore(Options options = {}, QObject* parent = nullptr);

    // The one store of the process, made on first use with the options of configureShared().
    static HistoryStore& shared();
    // Sets the options of the shared store; has no effect once it exists.
    static void configureShared(Options options);

    const QList<LearningRecord>& records() const { return records_; }
    // Whether a history file is active (guest or account scope).
    bool hasActiveFile() const { return fileURL_.has_value(); }
    // The account whose history is active; nothing in the guest and pending scopes.
    const std::optional<QString>& accountID() const { return currentAccountID_; }
    // An account is active and a guest history file exists (whatever it holds).
    bool canImportLegacy() const;
    // The latest notice about the history file: no data folder, an unreadable file moved aside,
    // a change that was not stored. Empty when there is nothing to say.
    const QString& statusMessage() const { return statusMessage_; }

    void switchToPending();
    void switchToGuest();
    // An id that fails the account-id rule gives the pending scope.
    void switchToAccount(const QString& accountID);

    // Copies the guest records whose ids the account does not have yet (a repeated id only once)
    // into the active account and rewrites its file, newest first. Returns how many were new;
    // 0 without an account or with an empty guest history. Throws HistoryError when the file
    // cannot be written; the list is then unchanged. The guest file is never changed.
    int importLegacyToCurrentAccount();

    // Adds a study answer at the front and keeps the newest 500 (held until the start scope is known).
    // False when its write failed: the answer is not stored and `statusMessage` says why.
    bool add(const QString& source, const QString& answer, const QString& mode);
    // Whether a tutor session holds anything that saveMeridLesson would store.
    static bool hasLessonContent(const meridcore::TeacherLearningSession& session);
    // Stores one tutor session as one record (replacing its earlier save). False when there is no
    // active file, nothing to store, or the write failed (`statusMessage` then says why); the list
    // is then unchanged.
    bool saveMeridLesson(const meridcore::TeacherLearningSession& session, bool asNote);
    // Inverts the note mark of the stored record with this id; nothing when it is gone.
    void toggleNote(const LearningRecord& record);
    // Removes every record with this id.
    void remove(const LearningRecord& record);
    // Empties the active scope's file only.
    void deleteAll();

signals:
    void recordsChanged();
    void statusMessageChanged();

private:
    struct Loaded {
        QList<LearningRecord> records;
        bool failed = false;  // the file exists but could not be used
    };
    static Loaded loadFile(const QString& path);

    // What the start's token read found.
    void enterGuestUnlessTokenHeld(bool held);

    void enterFile(const QString& path, const std::optional<QString>& accountID);
    void enterPending(const QString& status);
    // Encodes and writes `records` to the active file. Throws HistoryError.
    void write(const QList<LearningRecord>& records);
    // Writes and applies `next`; on failure keeps the list and reports. True when stored.
    bool commit(QList<LearningRecord> next);
    void setAsideUnreadableFile(const QString& path);
    // The notice after a write that stored the list (no failure) or failed.
    QString statusAfterWrite(const HistoryError* failure) const;
    // Sets the list (when given) and the notice, then signals the changes.
    void publish(std::optional<QList<LearningRecord>> records, const QString& status);

    Options options_;
    QList<LearningRecord> records_;
    std::optional<QString> fileURL_;
    std::optional<QString> currentAccountID_;
    // The active file failed to load and has not been moved aside yet.
    bool activeFileUnreadable_ = false;
    QString statusMessage_;
    // `statusMessage_` reports a change that was not stored.
    bool writeFailureShown_ = false;
    // The notice of a move aside made during the current write, kept in front of a later failure.
    QString setAsideNotice_;
    // A scope was entered since the store was made.
    bool scopeEntered_ = false;
    // Study answers added before any scope was entered, newest first.
    QList<LearningRecord> heldAnswers_;
};

}  // namespace velquin
