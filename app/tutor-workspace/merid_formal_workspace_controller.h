#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "app/shell/app_store_services.h"
#include "app/tutor-workspace/merid_formal_import.h"
#include "app/tutor-workspace/sessions_file.h"
#include "base/cancellation.h"
#include "base/work_scheduler.h"
#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_tutor_request.h"
#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_learning_store.h"

namespace velquin {

class HistoryStore;

// What the tutor screen works with. Empty members get the production implementation.
struct MeridWorkspaceServices {
    // Sends one tutor request and returns the raw reply. Required: the host hands in the hosted transport.
    std::shared_ptr<meridcore::MeridTutorTransport> transport;
    // Whether the AI-content consent is granted now. null: the consent kept in the standard defaults.
    std::function<bool()> consentGranted;
    // This account's sessions file. none: "teacher_sessions.json" in the application data folder.
    std::optional<meridcore::TeacherLearningStore> storage;
    // The session token, compared before every automatic request. null: the keyring.
    std::shared_ptr<SessionTokenSource> sessionToken;
    // Where the keyring reads run. null: the thread pool, resuming on the event loop.
    std::shared_ptr<base::WorkScheduler> scheduler;
    // Where saved lessons go. null: the shared learning history.
    HistoryStore* history = nullptr;
    // Text handed over from the main window (its tutor hand-over), read and, once taken, cleared.
    // null: nothing is ever handed over.
    std::function<std::optional<QString>()> incomingSource;
    std::function<void()> clearIncomingSource;
};

// The tutor screen's state and everything it does, without a widget: the open sessions and the
// active one, loading and saving them, the request round that sends the active session's next
// tutor request and follows it with automatic requests within the click's budget, and the
// commands of the lesson, the tutor rail and the course panels. Views read the state, connect to
// the change signals and call the operations; they keep no session of their own. Main thread only.
//
// Data safety: a sessions file that could not be read stops all writing for the life of this
// object (`canSave` false), so that the file is never overwritten. A write that failed leaves the
// file with its last good contents and refuses the commands (`canSave` false) until a later save
// lands: the sessions in memory are the truth, and the next good write of them lets work go on. A
// failed or stopped request puts the active session back to the snapshot taken before it; a reply
// that was recorded and saved is never undone. The sessions file is read and written away from the
// main thread, one write after the other (the newest list always lands last); a failed write is told
// when it has happened, and the last write ends before this object does. While the file is read
// again, the commands wait and the saves wait with them. What depends on a save's
// outcome waits for it: the next automatic request, the import's notice (a failed save puts the
// material back), the pause's leaving of the page, the lesson's save into the learning history, the
// take-over of handed-in text (and the save of the session it replaces) and the notices of the
// course outline and topic choices.
//
// The status texts are Chinese, as stored and compared; views translate them for display.
class MeridFormalWorkspaceController : public QObject {
    Q_OBJECT
public:
    static inline const QString consentText = QStringLiteral("请先阅读并同意 AI 内容处理。");
    static inline const QString userStopText = QStringLiteral("已停止本轮；成功保存的课堂内容不会被撤销。");
    static inline const QString roundStopText = QStringLiteral("已停止本轮；已完成的教学记录保留，未继续自动请求。");
    static inline const QString accountChangedText =
        QStringLiteral("账户已变更，已安全停止自动教学；旧课堂不会发送到新账户。");
    static inline const QString followupDoneText = QStringLiteral("追问已回答；课堂进度和作答内容没有改变。");
    static inline const QString readFailurePrefix = QStringLiteral("历史读取失败，已保护原文件并停止写入：");
    static inline const QString saveFailurePrefix = QStringLiteral("保存失败，已停止覆盖历史：");
    // A session still under its default title takes the first characters of the first file's name
    // imported into it.
    static constexpr int sessionTitleFromFileLength = 34;
    // A longer PDF asks for its page range.
    static constexpr int maxWholePDFPages = 5;

    explicit MeridFormalWorkspaceController(MeridWorkspaceServices services, QObject* parent = nullptr);
    ~MeridFormalWorkspaceController() override;

    // ---- State -----------------------------------------------------------------------------------
    // The session shown and taught; it enters `sessions` on its first save.
    const meridcore::TeacherLearningSession& active() const { return active_; }
    // The stored sessions as last loaded or saved, in stored order (newest first after a load).
    const QList<meridcore::TeacherLearningSession>& sessions() const { return sessions_; }
    // The sessions file has been read (or failed to be); until then nothing is saved and the
    // commands are refused.
    bool hasLoaded() const { return hasLoaded_; }
    // False after the sessions file failed to be read (for good) or written (until a save lands):
    // every command that changes sessions is refused.
    bool canSave() const { return canSave_; }
    // A request round runs.
    bool busy() const { return busy_; }
    // A command waits for its save to land (pause, import, learning-history save, take-over of
    // handed-in text, the course outline and topic choices), or the file is being read again; the
    // other commands wait for it to end.
    bool settling() const { return settlers_ > 0; }
    // The screen's one status line: progress, success and failure texts alike.
    const QString& errorMessage() const { return errorMessage_; }
    void setErrorMessage(const QString& value);
    // Identity of the current round; replaced by every round and every cancel().
    const QUuid& generation() const { return generation_; }
    // The text of the tutor rail's question box.
    const QString& followupDraft() const { return followupDraft_; }
    void setFollowupDraft(const QString& value);
    // Applies a change of the student's own fields of the active session (the answer being
    // written, the course and topic names). Saving is the caller's next step.
    void updateActive(const std::function<void(meridcore::TeacherLearningSession&)>& change);
    // The same, saved in the same step (the course editor's edits).
    void editActive(const std::function<void(meridcore::TeacherLearningSession&)>& change);

    // The import flow's state: the pending page-range choice of a staged PDF and its copy, and
    // the notice of the last import.
    const std::optional<MeridFormalPDFChoice>& pdfChoice() const { return pdfChoice_; }
    void setPdfChoice(const std::optional<MeridFormalPDFChoice>& value);
    const std::optional<QUrl>& pendingStagedPDF() const { return pendingStagedPDF_; }
    void setPendingStagedPDF(const std::optional<QUrl>& value);
    // The notice of a failed import as stored (Chinese, translated where shown), or of a successful
    // one in the interface language of now.
    QString importFeedback() const;
    bool importSucceeded() const { return importSucceeded_; }
    void setImportFeedback(const QString& text, bool succeeded);

    // The session whose deletion waits for the student's confirmation.
    const std::optional<QUuid>& deleteCandidate() const { return deleteCandidate_; }
    void setDeleteCandidate(const std::optional<QUuid>& value);

    // Layout flags of the screen: the course editor, the course sidebar, the compact course drawer
    // and the tutor drawer.
    bool showCourseEditor() const { return showCourseEditor_; }
    void setShowCourseEditor(bool value);
    bool sidebarVisible() const { return sidebarVisible_; }
    void setSidebarVisible(bool value);
    bool compactCoursesOpen() const { return compactCoursesOpen_; }
    void setCompactCoursesOpen(bool value);
    bool teacherDrawerOpen() const { return teacherDrawerOpen_; }
    void setTeacherDrawerOpen(bool value);

    // The transport of the next requests (the host makes a new one when the answer language changes).
    void setTransport(std::shared_ptr<meridcore::MeridTutorTransport> transport);

    // ---- Sessions --------------------------------------------------------------------------------
    // Reads the sessions file, once, away from the main thread; hasLoadedChanged() when it is in.
    // A file that cannot be read stops all writing.
    void load();
    // Reads the sessions file again, away from the main thread, after another part of the program
    // added sessions to it (the legacy tutor-history import). The list gains the sessions added; the
    // active session, a running round and what this screen changed meanwhile stay as they are. Until
    // the file is in, the commands wait (`settling`) and saves are written once it is. Of reads asked
    // for one after the other, only the last is taken. Nothing before the first load or after writing
    // stopped; a failed read stops writing as at the first load.
    void reloadSessions();
    // Writes the active session into the list and the list into the file. The file is written away
    // from the main thread, one write after the other; a failure is told when it has happened, and
    // a later write that lands lets the commands work again. Nothing before the file was read or
    // after it failed to be.
    void save();
    // Blocks until every save has been written and its outcome told.
    void finishSaving();
    void startNewSession();
    void openSession(meridcore::TeacherLearningSession session);
    // Deletes one stored session (after the student confirmed); a failed write restores the list.
    void removeSession(const QUuid& id);
    // Deletes the delete candidate, if any, and forgets it.
    void confirmDeletion();
    // Takes over the text handed over from the main window into a new session's question box.
    void acceptLessonarySource();
    // Stops the running round; the session goes back to the snapshot of the request in flight.
    void cancel();
    // Forgets and deletes the staged copy of a long PDF that waits for its page range.
    void discardPendingPDF();
    // The screen goes away: a waiting staged PDF is deleted, the round stopped, the session saved.
    void close();

    // ---- Requests and commands -------------------------------------------------------------------
    // The request gate: true when the AI-content consent is granted; otherwise shows the consent
    // text, emits consentRequested() and returns false.
    bool checkPermission();
    // Builds the active session's next request (a follow-up when `followupText` is given) and
    // starts its round; returns at once. `rollback` is what a failed first request restores.
    void transmit(const std::optional<QString>& followupText,
                  const std::optional<meridcore::TeacherLearningSession>& rollback);
    // A lesson action of the canvas or the toolbar; pause saves and asks to leave the tutor page.
    void action(meridcore::MeridAction action);
    // Sends the question box as a follow-up question (one request).
    void sendQuestion();
    // Moves the active session's material position by `step` (-1 or +1).
    void changeChunk(int step);
    void selectCourseTopic(const QString& topicID);
    // Builds a course outline for the material the active session already holds.
    void indexExistingCourse();
    // Saves the active lesson into the learning history, as a note when `asNote`.
    void saveToLessonary(bool asNote);

    // ---- Importing course material ---------------------------------------------------------------
    // Material goes into the active session with a new course outline and is read only on this
    // machine. The file work runs away from the main thread; while it runs no other import starts,
    // and a request round that started meanwhile makes the finished import drop its result.
    //
    // Asks for the file chooser (fileChooserRequested()) unless busy, read-only or importing; with
    // a check question waiting for its answer it says so instead.
    void openFileChooser();
    // Stages the chosen file. A PDF of six pages or more waits for its page range (pdfChoice and
    // pendingStagedPDF); anything else is imported at once and its staged copy deleted.
    void receiveSelectedFile(const QUrl& url);
    // Imports a staged copy, the given pages of a PDF or all of it. Deletes nothing.
    void importStagedFile(const QUrl& staged, std::optional<PageRange> pages);
    // Imports the given pages of the PDF waiting for its range; its copy is deleted once read (or
    // at once when the import cannot start).
    void importPendingPDF(PageRange pages);
    // The import notice and the status line of a failed import.
    void reportImportFailure(std::exception_ptr error);
    bool importing() const { return importing_; }

Q_SIGNALS:
    void hasLoadedChanged();
    void activeChanged();
    void sessionsChanged();
    void canSaveChanged();
    void busyChanged();
    void settlingChanged();
    void errorMessageChanged();
    void followupDraftChanged();
    void importStateChanged();
    void deleteCandidateChanged();
    void layoutChanged();
    // The host should present the AI-content consent sheet.
    void consentRequested();
    // The host should leave the tutor page (after the pause action).
    void closeRequested();
    // The screen should let the student choose a file and hand it to receiveSelectedFile().
    void fileChooserRequested();

private:
    struct Round;
    using WriteWait = SessionsFile::Landing;

    void setActive(const meridcore::TeacherLearningSession& value);
    void setSessions(const QList<meridcore::TeacherLearningSession>& value);
    void setCanSave(bool value);
    void setBusy(bool value);
    // Commands wait from the first hold until the last release.
    void holdCommands();
    void releaseCommands();
    // The file is read and writable, and neither a round nor a command's save is under way: the
    // commands that change sessions may run.
    bool takesCommands() const { return hasLoaded_ && canSave_ && !busy_ && !settling(); }
    // The question box of a session being opened: its saved question, else its draft unless a
    // question waits for an answer.
    static QString questionBoxText(const meridcore::TeacherLearningSession& session);

    // Stamps `session` with the question box and the time, puts it into the list in place of the
    // one with its id (or at the end) and hands the list to the writes; what to wait for, or null
    // when nothing is written (the file is not read yet, or could not be).
    std::shared_ptr<WriteWait> write(meridcore::TeacherLearningSession& session);
    // save(), with what to wait for.
    std::shared_ptr<WriteWait> saveActive();
    // Waits until `wait` has landed, the other commands waiting meanwhile (`settling`): whether it
    // was written; nothing when this object went meanwhile.
    QCoro::Task<std::optional<bool>> settle(std::shared_ptr<WriteWait> wait);
    // Puts `session` into the list in place of the one with its id, without writing.
    void putBack(const meridcore::TeacherLearningSession& session);
    void landFirstRead(QList<meridcore::TeacherLearningSession> loaded, std::exception_ptr failure);
    void landReread(const QList<meridcore::TeacherLearningSession>& loaded, std::exception_ptr failure);
    void stopWritingAfterRead(std::exception_ptr failure);
    QCoro::Task<void> runPause(meridcore::TeacherLearningSession before, meridcore::TeacherLearningSession paused);
    QCoro::Task<void> runTakeOver(QString incoming, QString text);
    // Shows `text` once `wait` has been written (the other commands waiting meanwhile).
    QCoro::Task<void> announceSaved(std::shared_ptr<WriteWait> wait, QString text);
    QCoro::Task<void> runSaveToLessonary(bool asNote);
    QCoro::Task<void> runRound(Round round);
    QCoro::Task<QString> readSessionToken();
    bool isStale(const Round& round) const;
    void restorePendingRollback();
    void failRound(const Round& round, std::exception_ptr error);
    void completeRound(const Round& round, int completed);
    void endRound(const Round& round);
    QCoro::Task<void> runReceive(QUrl url);
    QCoro::Task<void> runImport(QUrl staged, std::optional<PageRange> pages, bool removeAfter);
    QCoro::Task<void> installMaterial(meridcore::TeacherMaterial material, QUrl staged);

    MeridWorkspaceServices services_;
    std::unique_ptr<SessionsFile> file_;

    meridcore::TeacherLearningSession active_;
    QList<meridcore::TeacherLearningSession> sessions_;
    bool loading_ = false;
    bool hasLoaded_ = false;
    // The file could not be read: never written while this object lives.
    bool readFailed_ = false;
    // Another writer changed the file while it was being read first: read it again once it is in.
    bool reloadWanted_ = false;
    bool rereading_ = false;
    bool canSave_ = true;
    bool busy_ = false;
    int settlers_ = 0;
    std::optional<MeridFormalPDFChoice> pdfChoice_;
    std::optional<QUrl> pendingStagedPDF_;
    QString importFeedback_;
    // What the notice of a successful import names and counts.
    struct ImportedMaterial {
        QString name;
        qsizetype topics = 0;
        qsizetype chunks = 0;
    };
    std::optional<ImportedMaterial> imported_;
    bool importSucceeded_ = false;
    QString errorMessage_;
    QUuid generation_;
    std::shared_ptr<base::CancellationSource> requestTask_;
    std::optional<meridcore::TeacherLearningSession> pendingRollback_;
    std::optional<QUuid> deleteCandidate_;
    bool showCourseEditor_ = false;
    bool sidebarVisible_ = true;
    bool compactCoursesOpen_ = false;
    bool teacherDrawerOpen_ = false;
    bool importing_ = false;
    QString followupDraft_;
};

}  // namespace velquin
