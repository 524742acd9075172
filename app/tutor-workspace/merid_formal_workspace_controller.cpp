#include "app/tutor-workspace/merid_formal_workspace_controller.h"

#include <QPointer>

#include <utility>

#include "app/account/account_data_scope.h"
#include "app/account/history_store.h"
#include "app/account/session_keyring.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-workspace/sessions_file.h"
#include "base/defaults_store.h"
#include "base/errors.h"
#include "base/task.h"
#include "base/text.h"
#include "core/consent.h"
#include "tutor-engine/merid_request_builder.h"
#include "tutor-engine/merid_response_recorder.h"
#include "tutor-engine/merid_tutor_orchestrator.h"
#include "tutor-engine/merid_v12_auto_advance.h"
#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/merid_v12_reply_contract.h"

namespace velquin {

using meridcore::MeridAction;
using meridcore::TeacherLearningSession;
namespace Navigator = meridcore::MeridV12CourseNavigator;

namespace {

// (Every awaited object in the coroutines of this file is a named local first: g++ 12 may destroy
// the captures of a temporary awaited in place twice.)

bool isCancellation(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const base::CancellationError&) {
        return true;
    } catch (...) {
    }
    return false;
}

TeacherLearningSession blankSession() { return TeacherLearningSession(0); }

MeridWorkspaceServices withDefaults(MeridWorkspaceServices services) {
    if (!services.consentGranted)
        services.consentGranted = [] { return tamsel::AIPrivacyConsent::isGranted(base::DefaultsStore::standard()); };
    if (!services.storage) services.storage.emplace(std::nullopt, AccountDataScope::appNamespace());
    if (!services.sessionToken) services.sessionToken = makeKeychainTokenSource();
    if (!services.scheduler) services.scheduler = std::make_shared<base::QtWorkScheduler>();
    if (!services.history) services.history = &sharedHistoryWithKeychain();
    return services;
}

}  // namespace

// What one round keeps from its start to its end.
struct MeridFormalWorkspaceController::Round {
    meridcore::MeridTutorRequest request;
    std::optional<QString> followup;  // present in a follow-up round
    QUuid sessionID;
    QUuid generation;
    std::optional<MeridAction> previous;
    int budget = 1;
    std::shared_ptr<base::CancellationSource> cancellation;
};

MeridFormalWorkspaceController::MeridFormalWorkspaceController(MeridWorkspaceServices services, QObject* parent)
    : QObject(parent),
      services_(withDefaults(std::move(services))),
      file_(std::make_unique<SessionsFile>(*services_.storage, services_.scheduler, [this] { return sessions_; })),
      active_(blankSession()),
      generation_(QUuid::createUuid()) {}

MeridFormalWorkspaceController::~MeridFormalWorkspaceController() {
    if (requestTask_) requestTask_->cancel();
    // The last save lands before this screen (or the program) goes.
    file_.reset();
}

void MeridFormalWorkspaceController::finishSaving() { file_->finish(); }

// ---- State ---------------------------------------------------------------------------------------

void MeridFormalWorkspaceController::setActive(const TeacherLearningSession& value) {
    if (active_ == value) return;
    active_ = value;
    emit activeChanged();
}

void MeridFormalWorkspaceController::setSessions(const QList<TeacherLearningSession>& value) {
    if (sessions_ == value) return;
    sessions_ = value;
    emit sessionsChanged();
}

void MeridFormalWorkspaceController::setCanSave(bool value) {
    if (canSave_ == value) return;
    canSave_ = value;
    emit canSaveChanged();
}

void MeridFormalWorkspaceController::setBusy(bool value) {
    if (busy_ == value) return;
    busy_ = value;
    emit busyChanged();
}

void MeridFormalWorkspaceController::holdCommands() {
    if (settlers_++ == 0) emit settlingChanged();
}

void MeridFormalWorkspaceController::releaseCommands() {
    if (--settlers_ == 0) emit settlingChanged();
}

void MeridFormalWorkspaceController::setErrorMessage(const QString& value) {
    if (errorMessage_ == value) return;
    errorMessage_ = value;
    emit errorMessageChanged();
}

void MeridFormalWorkspaceController::setFollowupDraft(const QString& value) {
    if (followupDraft_ == value) return;
    followupDraft_ = value;
    emit followupDraftChanged();
}

void MeridFormalWorkspaceController::updateActive(const std::function<void(TeacherLearningSession&)>& change) {
    TeacherLearningSession changed = active_;
    change(changed);
    setActive(changed);
}

void MeridFormalWorkspaceController::editActive(const std::function<void(TeacherLearningSession&)>& change) {
    // One change of the active session for the views (not one for the edit and one for its stamp).
    TeacherLearningSession changed = active_;
    change(changed);
    write(changed);
    setActive(changed);
}

void MeridFormalWorkspaceController::setPdfChoice(const std::optional<MeridFormalPDFChoice>& value) {
    const bool same = pdfChoice_.has_value() == value.has_value() && (!value || pdfChoice_->id == value->id);
    if (same) return;
    pdfChoice_ = value;
    emit importStateChanged();
}

void MeridFormalWorkspaceController::setPendingStagedPDF(const std::optional<QUrl>& value) {
    if (pendingStagedPDF_ == value) return;
    pendingStagedPDF_ = value;
    emit importStateChanged();
}

QString MeridFormalWorkspaceController::importFeedback() const {
    if (!imported_) return importFeedback_;
    const QString topics = QString::number(imported_->topics);
    const QString chunks = QString::number(imported_->chunks);
    return UIStrings::choose(QStringLiteral("已在本机导入《") + imported_->name + QStringLiteral("》，识别 ") + topics +
                                 QStringLiteral(" 个教材标题，点击讲解后才发送选中的片段。"),
                             QStringLiteral("Imported ") + imported_->name + QStringLiteral(" locally (") + chunks +
                                 QStringLiteral(" chunks). Content is sent only when you request an explanation."),
                             QStringLiteral("Fichier importé en local : ") + imported_->name + QStringLiteral(" (") +
                                 chunks + QStringLiteral(" sections). L'envoi ne se fait qu'à votre demande."));
}

void MeridFormalWorkspaceController::setImportFeedback(const QString& text, bool succeeded) {
    if (!imported_ && importFeedback_ == text && importSucceeded_ == succeeded) return;
    imported_.reset();
    importFeedback_ = text;
    importSucceeded_ = succeeded;
    emit importStateChanged();
}

void MeridFormalWorkspaceController::setDeleteCandidate(const std::optional<QUuid>& value) {
    if (deleteCandidate_ == value) return;
    deleteCandidate_ = value;
    emit deleteCandidateChanged();
}

namespace {
void assign(bool& field, bool value, MeridFormalWorkspaceController* owner) {
    if (field == value) return;
    field = value;
    emit owner->layoutChanged();
}
}  // namespace

void MeridFormalWorkspaceController::setShowCourseEditor(bool value) { assign(showCourseEditor_, value, this); }
void MeridFormalWorkspaceController::setSidebarVisible(bool value) { assign(sidebarVisible_, value, this); }
void MeridFormalWorkspaceController::setCompactCoursesOpen(bool value) { assign(compactCoursesOpen_, value, this); }
void MeridFormalWorkspaceController::setTeacherDrawerOpen(bool value) { assign(teacherDrawerOpen_, value, this); }

void MeridFormalWorkspaceController::setTransport(std::shared_ptr<meridcore::MeridTutorTransport> transport) {
    services_.transport = std::move(transport);
}

QString MeridFormalWorkspaceController::questionBoxText(const TeacherLearningSession& session) {
    if (session.followupDraft) return *session.followupDraft;
    if (!session.pendingQuizIndex()) return session.draft;
    return QString();
}

// ---- Sessions ------------------------------------------------------------------------------------

void MeridFormalWorkspaceController::load() {
    if (hasLoaded_ || loading_) return;
    loading_ = true;
    file_->read([this](QList<TeacherLearningSession> loaded, std::exception_ptr failure) {
        landFirstRead(std::move(loaded), failure);
    });
}

void MeridFormalWorkspaceController::stopWritingAfterRead(std::exception_ptr failure) {
    // The file stays as it is: nothing is written to it for the life of this screen.
    readFailed_ = true;
    setCanSave(false);
    setErrorMessage(readFailurePrefix + base::messageOf(failure));
}

void MeridFormalWorkspaceController::landFirstRead(QList<TeacherLearningSession> loaded, std::exception_ptr failure) {
    loading_ = false;
    hasLoaded_ = true;
    if (failure) {
        stopWritingAfterRead(failure);
    } else {
        setSessions(loaded);
        if (!loaded.isEmpty()) {
            setActive(loaded.first());
            setFollowupDraft(questionBoxText(loaded.first()));
        }
    }
    emit hasLoadedChanged();
    if (std::exchange(reloadWanted_, false)) reloadSessions();
}

void MeridFormalWorkspaceController::reloadSessions() {
    if (loading_) {
        reloadWanted_ = true;
        return;
    }
    if (!hasLoaded_ || !canSave_) return;
    // Read after this screen's saves have landed; a read still out is dropped for this one.
    if (!std::exchange(rereading_, true)) holdCommands();
    file_->read([this](const QList<TeacherLearningSession>& loaded, std::exception_ptr failure) {
        landReread(loaded, failure);
    });
}

void MeridFormalWorkspaceController::landReread(const QList<TeacherLearningSession>& loaded,
                                                std::exception_ptr failure) {
    rereading_ = false;
    releaseCommands();
    if (failure) {
        stopWritingAfterRead(failure);
        return;
    }
    // The file holds what this screen wrote and what the other writer added. What this screen holds
    // is newer for its own sessions (saves made while the file was read have not landed yet).
    QList<TeacherLearningSession> list = sessions_;
    for (const TeacherLearningSession& session : loaded)
        if (std::none_of(list.begin(), list.end(),
                         [&session](const TeacherLearningSession& s) { return s.id == session.id; }))
            list.append(session);
    setSessions(list);
}

std::shared_ptr<MeridFormalWorkspaceController::WriteWait> MeridFormalWorkspaceController::write(
    TeacherLearningSession& session) {
    if (!hasLoaded_ || readFailed_) return nullptr;
    session.followupDraft = followupDraft_;
    // Stamped after every other session even within one clock tick or after the clock went back,
    // so that the last one saved is the one a new screen opens.
    base::Date stamp = base::Date::now();
    for (const TeacherLearningSession& s : sessions_)
        if (s.id != session.id && s.updatedAt >= stamp) stamp = s.updatedAt.addingSeconds(0.001);
    session.updatedAt = stamp;
    putBack(session);

    // Encoded and written away from the main thread; the list in memory is the truth meanwhile.
    return file_->write([this](std::exception_ptr error) {
        if (error) {
            // The list in memory keeps the change; the file keeps its last good contents (a file that
            // could not be read again keeps that text).
            setCanSave(false);
            if (!readFailed_) setErrorMessage(saveFailurePrefix + base::messageOf(error));
        } else if (!canSave_ && !readFailed_) {
            // The file holds the sessions again (room was made, the folder can be written again).
            setCanSave(true);
            if (errorMessage_.startsWith(saveFailurePrefix)) setErrorMessage(QString());
        }
    });
}

std::shared_ptr<MeridFormalWorkspaceController::WriteWait> MeridFormalWorkspaceController::saveActive() {
    TeacherLearningSession stamped = active_;
    std::shared_ptr<WriteWait> wait = write(stamped);
    if (wait) setActive(stamped);
    return wait;
}

void MeridFormalWorkspaceController::save() { saveActive(); }

QCoro::Task<std::optional<bool>> MeridFormalWorkspaceController::settle(std::shared_ptr<WriteWait> wait) {
    QPointer<MeridFormalWorkspaceController> guard(this);
    holdCommands();
    SessionsFile::Awaiter landing(std::move(wait));
    const bool written = co_await landing;
    if (!guard) co_return std::nullopt;
    releaseCommands();
    co_return written;
}

void MeridFormalWorkspaceController::putBack(const TeacherLearningSession& session) {
    QList<TeacherLearningSession> list = sessions_;
    const auto existing = std::find_if(list.begin(), list.end(),
                                       [&session](const TeacherLearningSession& s) { return s.id == session.id; });
    if (existing != list.end())
        *existing = session;
    else
        list.append(session);
    setSessions(list);
}

void MeridFormalWorkspaceController::startNewSession() {
    if (!hasLoaded_ || busy_ || settling()) return;
    save();
    setActive(blankSession());
    setFollowupDraft(QString());
}

void MeridFormalWorkspaceController::openSession(TeacherLearningSession session) {
    if (!hasLoaded_ || busy_ || settling()) return;
    // (Taken by value: the caller's session may be an element of the list that save() replaces.)
    save();
    setActive(session);
    setFollowupDraft(questionBoxText(session));
}

void MeridFormalWorkspaceController::removeSession(const QUuid& id) {
    if (!takesCommands()) return;
    QList<TeacherLearningSession> remaining = sessions_;
    QList<std::pair<qsizetype, TeacherLearningSession>> removed;
    for (qsizetype i = 0; i < sessions_.size(); ++i)
        if (sessions_[i].id == id) removed.append({i, sessions_[i]});
    remaining.removeIf([&id](const TeacherLearningSession& s) { return s.id == id; });
    // Gone from the list at once, so that a save made meanwhile does not bring the session back; the
    // outcome is told when the write has landed.
    setSessions(remaining);
    std::optional<TeacherLearningSession> replacedActive;
    if (active_.id == id) {
        replacedActive = active_;
        setActive(remaining.isEmpty() ? blankSession() : remaining.first());
    }
    const QUuid successor = active_.id;
    file_->write([this, id, removed, replacedActive, successor](std::exception_ptr error) {
        if (!error) {
            setErrorMessage(QStringLiteral("会话已从本机删除。"));
            return;
        }
        // Writing stays allowed: the file still holds the session, and so does the list again.
        QList<TeacherLearningSession> restored = sessions_;
        if (std::none_of(restored.begin(), restored.end(),
                         [&id](const TeacherLearningSession& s) { return s.id == id; }))
            for (const auto& [index, session] : removed) restored.insert(qMin(index, restored.size()), session);
        setSessions(restored);
        if (replacedActive && active_.id == successor && !busy_) setActive(*replacedActive);
        setErrorMessage(QStringLiteral("删除失败：") + base::messageOf(error));
    });
}

void MeridFormalWorkspaceController::confirmDeletion() {
    if (const std::optional<QUuid> id = deleteCandidate_) removeSession(*id);
    setDeleteCandidate(std::nullopt);
}

void MeridFormalWorkspaceController::acceptLessonarySource() {
    if (!takesCommands() || !services_.incomingSource) return;
    const std::optional<QString> incoming = services_.incomingSource();
    if (!incoming) return;
    const QString text = base::text::trimmed(*incoming);
    if (text.isEmpty()) return;
    base::detach(runTakeOver(*incoming, text));
}

QCoro::Task<void> MeridFormalWorkspaceController::runTakeOver(QString incoming, QString text) {
    // The session open now is on disk before another takes its place: when it cannot be written the
    // text stays in the main window and the screen with the save's failure.
    auto before = settle(saveActive());
    const std::optional<bool> kept = co_await before;
    if (!kept.value_or(false)) co_return;
    TeacherLearningSession fresh = blankSession();
    fresh.followupDraft = text;
    fresh.draft = QString();
    setActive(fresh);
    setFollowupDraft(text);
    // The text leaves the main window only once the session holding it is on disk.
    auto landing = settle(saveActive());
    const std::optional<bool> written = co_await landing;
    if (!written.value_or(false)) co_return;
    if (services_.clearIncomingSource && services_.incomingSource() == incoming) services_.clearIncomingSource();
    setErrorMessage(QStringLiteral("已从 Lessonary 载入原文，尚未发送给 AI。请检查后点击发送追问。"));
}

void MeridFormalWorkspaceController::cancel() {
    const bool wasBusy = busy_;
    generation_ = QUuid::createUuid();
    if (const std::shared_ptr<base::CancellationSource> running = std::exchange(requestTask_, nullptr))
        running->cancel();
    if (pendingRollback_) {
        const TeacherLearningSession rollback = *std::exchange(pendingRollback_, std::nullopt);
        setActive(rollback);
        save();
    }
    setBusy(false);
    if (wasBusy && hasLoaded_ && canSave_) setErrorMessage(userStopText);
}

void MeridFormalWorkspaceController::discardPendingPDF() {
    if (const std::optional<QUrl> staged = pendingStagedPDF_) {
        setPendingStagedPDF(std::nullopt);
        MeridFormalImport::removeStagedFile(*staged);
    }
}

void MeridFormalWorkspaceController::close() {
    discardPendingPDF();
    cancel();
    save();
}

// ---- The request round ---------------------------------------------------------------------------

bool MeridFormalWorkspaceController::checkPermission() {
    if (services_.consentGranted()) return true;
    setErrorMessage(consentText);
    emit consentRequested();
    return false;
}

void MeridFormalWorkspaceController::transmit(const std::optional<QString>& followupText,
                                              const std::optional<TeacherLearningSession>& rollback) {
    if (busy_) return;
    Round round;
    try {
        round.request = followupText ? meridcore::MeridRequestBuilder::makeFollowupRequest(active_, *followupText)
                                     : meridcore::MeridRequestBuilder::makeRequest(active_);
    } catch (...) {
        if (rollback) setActive(*rollback);
        setErrorMessage(base::messageOf(std::current_exception()));
        return;
    }
    pendingRollback_ = rollback;
    round.followup = followupText;
    round.sessionID = active_.id;
    round.generation = QUuid::createUuid();
    if (!followupText) round.previous = active_.lastPedagogicalAction;
    round.budget = followupText ? 1 : meridcore::MeridV12AutoAdvance::budget(round.previous);
    round.cancellation = std::make_shared<base::CancellationSource>();

    generation_ = round.generation;
    setBusy(true);
    setErrorMessage(QStringLiteral("MERID 正在带课（本轮最多 ") + QString::number(round.budget) +
                    QStringLiteral(" 次 AI 请求，可随时停止）…"));
    requestTask_ = round.cancellation;
    base::detach(runRound(std::move(round)));
}

QCoro::Task<QString> MeridFormalWorkspaceController::readSessionToken() {
    // The keyring may block (or ask to be unlocked): it is read away from the main thread. No
    // token and a failed read alike count as the empty token.
    std::shared_ptr<SessionTokenSource> source = services_.sessionToken;
    std::shared_ptr<base::WorkScheduler> scheduler = services_.scheduler;
    auto reading = base::runBlocking(*scheduler, [source]() -> QString {
        try {
            return source->load().value_or(QString());
        } catch (...) {
            return QString();
        }
    });
    co_return co_await reading;
}

bool MeridFormalWorkspaceController::isStale(const Round& round) const {
    return active_.id != round.sessionID || generation_ != round.generation;
}

QCoro::Task<void> MeridFormalWorkspaceController::runRound(Round round) {
    QPointer<MeridFormalWorkspaceController> guard(this);
    auto tokenReading = readSessionToken();
    const QString accountToken = co_await tokenReading;
    if (!guard) co_return;

    int completed = 0;
    for (int index = 0; index < round.budget; ++index) {
        if (round.cancellation->isCancelled()) {
            failRound(round, std::make_exception_ptr(base::CancellationError()));
            co_return;
        }
        if (isStale(round)) co_return;

        std::shared_ptr<meridcore::MeridTutorTransport> transport = services_.transport;
        QString raw;
        std::exception_ptr failure;
        try {
            auto replying = transport->reply(round.request, round.cancellation->token());
            raw = co_await replying;
        } catch (...) {
            failure = std::current_exception();
        }
        if (!guard) co_return;
        if (failure) {
            failRound(round, failure);
            co_return;
        }
        if (round.cancellation->isCancelled()) {
            failRound(round, std::make_exception_ptr(base::CancellationError()));
            co_return;
        }
        if (isStale(round)) co_return;

        // Checked against the session as it was when the request was built, then recorded.
        TeacherLearningSession recorded = active_;
        try {
            const QString reply = meridcore::MeridV12ReplyContract::normalize(raw, round.request, recorded);
            if (round.followup)
                meridcore::MeridResponseRecorder::applyFollowup(reply, *round.followup, recorded);
            else
                meridcore::MeridResponseRecorder::apply(reply, round.request, recorded);
        } catch (...) {
            failRound(round, std::current_exception());
            co_return;
        }
        setActive(recorded);
        // A question box the student changed meanwhile is left alone.
        if (round.followup && base::text::trimmed(followupDraft_) == *round.followup) setFollowupDraft(QString());
        completed = index + 1;
        pendingRollback_.reset();
        // What comes next follows from this reply: it waits until the reply is on disk.
        SessionsFile::Awaiter landing(saveActive());
        const bool written = co_await landing;
        if (!guard || isStale(round)) co_return;
        if (!written || !canSave_) {
            endRound(round);  // the save failure text stays
            co_return;
        }
        if (round.followup) break;
        const std::optional<MeridAction> next =
            meridcore::MeridV12AutoAdvance::nextAction(round.previous, active_, completed, round.budget);
        if (!next) break;

        // The automatic step: prepared on a copy, so that a refusal leaves the saved state in place.
        pendingRollback_ = active_;
        TeacherLearningSession prepared = active_;
        try {
            const base::Date now = base::Date::now();
            if (*next == MeridAction::continueLearning && round.previous == MeridAction::gradeAnswer) {
                const std::optional<meridcore::MeridV12CourseTopic> topic = Navigator::recommendedTopic(prepared, now);
                const std::optional<QString> activeID =
                    prepared.coursePlan ? prepared.coursePlan->activeTopicID : std::nullopt;
                if (topic && topic->id != activeID) Navigator::activate(topic->id, prepared, now);
            }
            meridcore::MeridTutorOrchestrator::prepare(*next, prepared, now);
            if (*next == MeridAction::continueLearning && prepared.coursePlan) {
                if (const auto topic = prepared.coursePlan->activeTopic())
                    prepared.draft = QStringLiteral("请只讲解教材章节《") + topic->heading +
                                     QStringLiteral("》的一个知识点，先定义、举例，不要提前出题。");
            }
            round.request = meridcore::MeridRequestBuilder::makeRequest(prepared);
        } catch (...) {
            // Nothing of the preparation reached the screen: the saved state stays, and is saved.
            pendingRollback_.reset();
            save();
            failRound(round, std::current_exception());
            co_return;
        }
        setActive(prepared);
        setErrorMessage(QStringLiteral("MERID 正在安排下一教学步骤（已完成 ") + QString::number(completed) + u'/' +
                        QString::number(round.budget) + QStringLiteral(" 次）…"));
        round.previous = next;

        // Before every automatic request: still this account, and still the consent.
        if (round.cancellation->isCancelled()) {
            failRound(round, std::make_exception_ptr(base::CancellationError()));
            co_return;
        }
        if (isStale(round)) co_return;
        auto tokenCheck = readSessionToken();
        const QString currentToken = co_await tokenCheck;
        if (!guard) co_return;
        if (round.cancellation->isCancelled()) {
            failRound(round, std::make_exception_ptr(base::CancellationError()));
            co_return;
        }
        if (isStale(round)) co_return;
        if (accountToken.isEmpty() || accountToken != currentToken) {
            restorePendingRollback();
            setErrorMessage(accountChangedText);
            endRound(round);
            co_return;
        }
        if (!checkPermission()) {
            restorePendingRollback();
            endRound(round);
            co_return;
        }
    }
    completeRound(round, completed);
}

void MeridFormalWorkspaceController::restorePendingRollback() {
    if (!pendingRollback_) return;
    const TeacherLearningSession rollback = *std::exchange(pendingRollback_, std::nullopt);
    setActive(rollback);
    save();
}

void MeridFormalWorkspaceController::failRound(const Round& round, std::exception_ptr error) {
    // A stop by the student or a newer round owns the screen: nothing is restored or shown.
    if (generation_ != round.generation) return;
    restorePendingRollback();
    setErrorMessage(isCancellation(error) ? roundStopText : base::messageOf(error));
    endRound(round);
}

void MeridFormalWorkspaceController::completeRound(const Round& round, int completed) {
    if (generation_ != round.generation) return;
    if (canSave_) {
        setErrorMessage(round.followup ? followupDoneText
                                       : QStringLiteral("本轮已完成 ") + QString::number(completed) +
                                             QStringLiteral(" 次 AI 请求，已在需要学生作答或知识点边界处停下。"));
    }
    endRound(round);
}

void MeridFormalWorkspaceController::endRound(const Round& round) {
    if (generation_ != round.generation) return;
    requestTask_.reset();
    setBusy(false);
}

// ---- Commands ------------------------------------------------------------------------------------

void MeridFormalWorkspaceController::action(MeridAction action) {
    if (!takesCommands()) return;
    const base::Date now = base::Date::now();

    if (action == MeridAction::pause) {
        TeacherLearningSession paused = active_;
        try {
            meridcore::MeridTutorOrchestrator::prepare(MeridAction::pause, paused, now);
        } catch (...) {
            setErrorMessage(base::messageOf(std::current_exception()));
            return;
        }
        base::detach(runPause(active_, paused));
        return;
    }

    if (!checkPermission()) return;
    if (action == MeridAction::gradeAnswer && base::text::trimmed(active_.draft).isEmpty()) {
        setErrorMessage(QStringLiteral("请先填写自己的答案，再点击批改。"));
        return;
    }
    const TeacherLearningSession snapshot = active_;
    TeacherLearningSession prepared = active_;

    // A topic already mastered moves on to the recommended one before the lesson is asked for.
    const std::optional<meridcore::MeridV12CourseTopic> topic =
        prepared.coursePlan ? prepared.coursePlan->activeTopic() : std::nullopt;
    if (action == MeridAction::continueLearning && !prepared.pendingQuizIndex() && topic &&
        Navigator::evidence(*topic, prepared).status == meridcore::MeridV12KnowledgeStatus::supported) {
        const std::optional<meridcore::MeridV12CourseTopic> next = Navigator::recommendedTopic(prepared, now);
        if (next && next->id != topic->id) {
            try {
                Navigator::activate(next->id, prepared, now);
            } catch (...) {
                setErrorMessage(base::messageOf(std::current_exception()));
                return;
            }
        }
    }

    const bool opensLesson = action == MeridAction::continueLearning && !prepared.latestClassroomResponse &&
                             (prepared.turns.isEmpty() || prepared.lastFollowupQuestion);
    try {
        meridcore::MeridTutorOrchestrator::prepare(action, prepared, now);
    } catch (...) {
        // What the topic advance changed stays in the session; the next save stores it.
        setActive(prepared);
        setErrorMessage(base::messageOf(std::current_exception()));
        return;
    }
    const std::optional<meridcore::MeridV12CourseTopic> lessonTopic =
        prepared.coursePlan ? prepared.coursePlan->activeTopic() : std::nullopt;
    if (action == MeridAction::continueLearning && lessonTopic) {
        prepared.draft = QStringLiteral("请严格围绕教材中的《") + lessonTopic->heading +
                         QStringLiteral("》讲一个小知识点，英文关键词+中文解释+例子，不要讲其他章节；等我独立回答题目后再继续。");
    } else if (opensLesson) {
        prepared.draft = QStringLiteral(
            "请从当前的学习资料或我的学习目标开始，只讲解一个知识点，提供英文关键词和中文解释、一个简单例子。");
    }
    setActive(prepared);
    transmit(std::nullopt, snapshot);
}

QCoro::Task<void> MeridFormalWorkspaceController::runPause(TeacherLearningSession before,
                                                           TeacherLearningSession paused) {
    // The lesson shows as paused (its card says it is saved) and the page is left only once the
    // pause is on disk.
    auto landing = settle(write(paused));
    const std::optional<bool> written = co_await landing;
    if (!written) co_return;
    if (!*written) {
        // The page stays with the save's failure, and the list holds the session as it is shown.
        putBack(active_);
        co_return;
    }
    if (active_.id == before.id) {
        // (What the student typed meanwhile stays.)
        updateActive([&paused](TeacherLearningSession& session) {
            session.pausedAt = paused.pausedAt;
            session.lastPedagogicalAction = paused.lastPedagogicalAction;
            session.updatedAt = paused.updatedAt;
        });
    }
    setErrorMessage(QStringLiteral("学习状态已保存，可以稍后从历史继续。"));
    emit closeRequested();
}

void MeridFormalWorkspaceController::sendQuestion() {
    if (!takesCommands()) return;
    const QString question = base::text::trimmed(followupDraft_);
    if (question.isEmpty()) return;
    if (!checkPermission()) return;
    transmit(question, std::nullopt);
}

void MeridFormalWorkspaceController::changeChunk(int step) {
    if (!hasLoaded_ || settling()) return;
    if (busy_ || active_.pendingQuizIndex()) {
        setErrorMessage(QStringLiteral("请先完成当前题目，再切换资料段落。"));
        return;
    }
    if (!active_.material) return;
    const qint64 target = active_.chunkIndex + step;
    if (target < 0 || target >= active_.material->count()) return;
    updateActive([target](TeacherLearningSession& session) { session.chunkIndex = target; });
    setErrorMessage(QStringLiteral("已切换资料段落；未发送新 AI 请求。"));
    save();
}

void MeridFormalWorkspaceController::selectCourseTopic(const QString& topicID) {
    if (!takesCommands()) return;
    TeacherLearningSession changed = active_;
    try {
        Navigator::activate(topicID, changed);
    } catch (...) {
        setErrorMessage(base::messageOf(std::current_exception()));
        return;
    }
    setActive(changed);
    base::detach(announceSaved(saveActive(), QStringLiteral("已切换到真实教材章节；未发送 AI 请求。")));
}

void MeridFormalWorkspaceController::indexExistingCourse() {
    if (!takesCommands()) return;
    TeacherLearningSession changed = active_;
    try {
        Navigator::indexExistingSource(changed);
    } catch (...) {
        setErrorMessage(base::messageOf(std::current_exception()));
        return;
    }
    setActive(changed);
    base::detach(announceSaved(saveActive(),
                               changed.coursePlan
                                   ? QStringLiteral("课程目录已建立，历史答题保留；旧答题不自动算作新章节的掌握证据。")
                                   : QStringLiteral("这份课件没有可识别的章节标题；可手动输入知识点学习。")));
}

QCoro::Task<void> MeridFormalWorkspaceController::announceSaved(std::shared_ptr<WriteWait> wait, QString text) {
    // A failed save keeps its own text.
    auto landing = settle(std::move(wait));
    const std::optional<bool> written = co_await landing;
    if (written.value_or(false)) setErrorMessage(text);
}

void MeridFormalWorkspaceController::saveToLessonary(bool asNote) {
    if (!takesCommands()) return;
    base::detach(runSaveToLessonary(asNote));
}

QCoro::Task<void> MeridFormalWorkspaceController::runSaveToLessonary(bool asNote) {
    // A lesson the sessions file could not keep does not go into the history either.
    auto landing = settle(saveActive());
    const std::optional<bool> written = co_await landing;
    if (!written.value_or(false)) co_return;
    HistoryStore& history = *services_.history;
    if (!history.hasActiveFile() || !HistoryStore::hasLessonContent(active_)) {
        setErrorMessage(
            UIStrings::choose(QStringLiteral("课堂没有可保存的内容，或者账户历史尚未就绪。"),
                              QStringLiteral("No lesson content to save, or the account history is not ready."),
                              QStringLiteral("Aucun contenu à enregistrer ou historique indisponible.")));
    } else if (!history.saveMeridLesson(active_, asNote)) {
        // The write failed: the history says why (full disk, size limit, a file it protects).
        setErrorMessage(history.statusMessage());
    } else if (asNote) {
        setErrorMessage(UIStrings::choose(QStringLiteral("已加入学习笔记。"), QStringLiteral("Saved to notes."),
                                          QStringLiteral("Ajouté aux notes.")));
    } else {
        setErrorMessage(UIStrings::choose(QStringLiteral("已保存到学习历史。"), QStringLiteral("Saved to learning history."),
                                          QStringLiteral("Ajouté à l'historique.")));
    }
}

// ---- Importing course material -------------------------------------------------------------------

void MeridFormalWorkspaceController::openFileChooser() {
    if (!takesCommands() || importing_) return;
    if (active_.pendingQuizIndex()) {
        setErrorMessage(QStringLiteral("请先完成当前题目，再导入另一份课件。"));
        return;
    }
    emit fileChooserRequested();
}

void MeridFormalWorkspaceController::receiveSelectedFile(const QUrl& url) {
    if (!takesCommands() || importing_) return;
    base::detach(runReceive(url));
}

void MeridFormalWorkspaceController::importStagedFile(const QUrl& staged, std::optional<PageRange> pages) {
    if (!takesCommands() || importing_) return;
    base::detach(runImport(staged, pages, false));
}

void MeridFormalWorkspaceController::importPendingPDF(PageRange pages) {
    const std::optional<QUrl> staged = pendingStagedPDF_;
    if (!staged) return;
    // The import owns the copy from here: the sheet's dismissal must not delete it while it is read.
    setPendingStagedPDF(std::nullopt);
    if (busy_ || !canSave_ || importing_ || settling()) {
        MeridFormalImport::removeStagedFile(*staged);
        return;
    }
    base::detach(runImport(*staged, pages, true));
}

void MeridFormalWorkspaceController::reportImportFailure(std::exception_ptr error) {
    const QString text = QStringLiteral("导入失败：") + base::messageOf(error);
    setImportFeedback(text, false);
    setErrorMessage(text);
}

QCoro::Task<void> MeridFormalWorkspaceController::runReceive(QUrl url) {
    struct Staged {
        QUrl url;
        int pageCount = 0;  // 0 for everything but a PDF
    };
    QPointer<MeridFormalWorkspaceController> guard(this);
    importing_ = true;
    std::shared_ptr<base::WorkScheduler> scheduler = services_.scheduler;
    Staged staged;
    std::exception_ptr failure;
    try {
        auto staging = base::runBlocking(*scheduler, [url]() {
            Staged result{MeridFormalImport::stageSelectedFile(url)};
            if (result.url.fileName().toLower().endsWith(QStringLiteral(".pdf"))) {
                try {
                    result.pageCount = MeridFormalImport::pdfPageCount(result.url);
                } catch (...) {
                    MeridFormalImport::removeStagedFile(result.url);
                    throw;
                }
            }
            return result;
        });
        staged = co_await staging;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!guard) {
        if (!failure) MeridFormalImport::removeStagedFile(staged.url);
        co_return;
    }
    importing_ = false;
    if (failure) {
        reportImportFailure(failure);
        co_return;
    }
    if (staged.pageCount > maxWholePDFPages) {
        // The copy waits for the page-range sheet; at most one copy waits.
        discardPendingPDF();
        setPendingStagedPDF(staged.url);
        setPdfChoice(MeridFormalPDFChoice(staged.url, staged.pageCount));
        co_return;
    }
    auto importing = runImport(staged.url, std::nullopt, true);
    co_await importing;
}

QCoro::Task<void> MeridFormalWorkspaceController::runImport(QUrl staged, std::optional<PageRange> pages,
                                                            bool removeAfter) {
    QPointer<MeridFormalWorkspaceController> guard(this);
    importing_ = true;
    std::shared_ptr<base::WorkScheduler> scheduler = services_.scheduler;
    std::optional<meridcore::TeacherMaterial> material;
    std::exception_ptr failure;
    try {
        auto loading =
            base::runBlocking(*scheduler, [staged, pages]() { return MeridFormalImport::load(staged, pages); });
        material.emplace(co_await loading);
    } catch (...) {
        failure = std::current_exception();
    }
    if (removeAfter) MeridFormalImport::removeStagedFile(staged);
    if (!guard) co_return;
    if (failure) {
        importing_ = false;
        reportImportFailure(failure);
        co_return;
    }
    // A lesson request that started while the file was read, or writing that stopped, wins.
    if (busy_ || !canSave_) {
        importing_ = false;
        co_return;
    }
    auto installing = installMaterial(std::move(*material), staged);
    co_await installing;
    if (guard) importing_ = false;
}

QCoro::Task<void> MeridFormalWorkspaceController::installMaterial(meridcore::TeacherMaterial material, QUrl staged) {
    const TeacherLearningSession before = active_;
    TeacherLearningSession changed = active_;
    try {
        Navigator::install(material, changed);
    } catch (...) {
        reportImportFailure(std::current_exception());
        co_return;
    }
    // Importing never makes a session: the material replaces what the active one held.
    if (changed.title == TeacherLearningSession::defaultTitle)
        changed.title = base::text::graphemePrefix(staged.fileName(), sessionTitleFromFileLength);
    setActive(changed);
    // The import is told only once the session holding the material is on disk.
    auto landing = settle(saveActive());
    const std::optional<bool> written = co_await landing;
    if (!written) co_return;
    if (!*written) {
        // The material goes back out of the session (what the student typed meanwhile stays); the
        // save's own text stays in the status line and the notice says the import did not happen.
        updateActive([&before](TeacherLearningSession& session) {
            session.title = before.title;
            session.material = before.material;
            session.chunkIndex = before.chunkIndex;
            session.coursePlan = before.coursePlan;
            session.topicName = before.topicName;
            session.latestClassroomResponse = before.latestClassroomResponse;
            session.latestClassroomMode = before.latestClassroomMode;
            session.lastPedagogicalAction = before.lastPedagogicalAction;
        });
        putBack(active_);
        setImportFeedback(QStringLiteral("导入失败：") + errorMessage_, false);
        co_return;
    }
    // The notice says it in the interface language of whenever it is shown.
    imported_ =
        ImportedMaterial{material.name(), active_.coursePlan ? active_.coursePlan->topics.size() : 0, material.count()};
    importFeedback_.clear();
    importSucceeded_ = true;
    emit importStateChanged();
    setErrorMessage(QString());
}

}  // namespace velquin
