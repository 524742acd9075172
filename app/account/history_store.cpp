#include "app/account/history_store.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <numeric>
#include <utility>

#include "app/account/account_data_scope.h"
#include "app/account/history_error.h"
#include "base/files.h"
#include "base/text.h"
#include "base/work_scheduler.h"
#include "tutor-engine/teacher_learning_session.h"

namespace velquin {

namespace {

const QString kNoDataFolder = QStringLiteral("没有可用的用户数据文件夹（未设置 HOME），学习历史不会保存。");
const QString kUnreadableFile =
    QStringLiteral("学习历史文件无法读取，原文件已保留，不会被覆盖；下次保存前会将它原样另存。");

std::optional<HistoryStore::Options>& sharedOptions() {
    static std::optional<HistoryStore::Options> options;
    return options;
}

bool sessionTokenHeld(const HistoryStore::SessionTokenLoader& load) {
    if (!load) return false;
    try {
        const std::optional<QString> token = load();
        return token && !token->isEmpty();
    } catch (...) {
        return false;
    }
}

void sortNewestFirst(QList<LearningRecord>& records) {
    std::stable_sort(records.begin(), records.end(), [](const LearningRecord& a, const LearningRecord& b) {
        return a.createdAt.secondsSinceReference > b.createdAt.secondsSinceReference;
    });
}

void keepNewest(QList<LearningRecord>& records) {
    if (records.size() > HistoryStore::maxRecords) records.resize(HistoryStore::maxRecords);
}

qsizetype indexOfId(const QList<LearningRecord>& records, const QUuid& id) {
    for (qsizetype i = 0; i < records.size(); ++i)
        if (records.at(i).id == id) return i;
    return -1;
}

// Course and topic, trimmed and joined with " / "; the session title when both are empty.
QString lessonSource(const meridcore::TeacherLearningSession& session) {
    QStringList parts;
    for (const std::optional<QString>& part : {session.courseName, session.topicName}) {
        const QString trimmed = base::text::trimmed(part.value_or(QString()));
        if (!trimmed.isEmpty()) parts.append(trimmed);
    }
    return parts.isEmpty() ? session.title : parts.join(QStringLiteral(" / "));
}

// The latest reply and the quiz lines; the last 8 turns only when those give nothing. The
// prefixes are stored in Chinese whatever the interface language.
QString lessonTranscript(const meridcore::TeacherLearningSession& session) {
    QStringList lines;
    if (session.latestClassroomResponse && !session.latestClassroomResponse->isEmpty())
        lines.append(*session.latestClassroomResponse);
    if (session.quizRecords) {
        for (const meridcore::MeridQuizRecord& record : *session.quizRecords) {
            lines.append(QStringLiteral("Q: ") + record.question);
            if (record.answer && !record.answer->isEmpty()) lines.append(QStringLiteral("学生答案: ") + *record.answer);
            if (record.feedback && !record.feedback->isEmpty())
                lines.append(QStringLiteral("真实批改: ") + *record.feedback);
        }
    }
    if (lines.isEmpty()) {
        const qsizetype first = std::max<qsizetype>(0, session.turns.size() - 8);
        for (qsizetype i = first; i < session.turns.size(); ++i) {
            const meridcore::TeacherTurn& turn = session.turns.at(i);
            const bool tutor = turn.role == meridcore::TeacherTurn::Role::assistant;
            lines.append((tutor ? QStringLiteral("老师: ") : QStringLiteral("学生: ")) + turn.content);
        }
    }
    return base::text::graphemePrefix(lines.join(QStringLiteral("\n\n")), HistoryStore::maxTranscriptLength);
}

}  // namespace

HistoryStore::HistoryStore(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
    if (!options_.loadSessionToken) {
        switchToGuest();
        return;
    }
    // Pending (no file, an empty list) until the token read tells otherwise. The read may outlive
    // the store (the keyring can block), and its answer never comes when the program ends first:
    // the completion holds the store weakly and nothing else, so it does nothing once the store is
    // gone and is freed with the event queue when it never runs.
    auto held = std::make_shared<bool>(false);
    base::WorkScheduler& scheduler = options_.scheduler ? *options_.scheduler : base::QtWorkScheduler::shared();
    scheduler.runBlocking([load = options_.loadSessionToken, held] { *held = sessionTokenHeld(load); },
                          [store = QPointer<HistoryStore>(this), held] {
                              if (store) store->enterGuestUnlessTokenHeld(*held);
                          });
}

void HistoryStore::enterGuestUnlessTokenHeld(bool held) {
    // Held: pending until the account is confirmed, and the answers added meanwhile are not
    // recorded. A scope entered meanwhile stands.
    QList<LearningRecord> answers = std::exchange(heldAnswers_, {});
    if (held || scopeEntered_) return;
    switchToGuest();
    if (!fileURL_ || answers.isEmpty()) return;
    QList<LearningRecord> next = std::move(answers) + records_;
    keepNewest(next);
    commit(std::move(next));
}

HistoryStore& HistoryStore::shared() {
    static HistoryStore* const store = new HistoryStore(sharedOptions().value_or(Options{}));
    return *store;
}

void HistoryStore::configureShared(Options options) { sharedOptions() = std::move(options); }

bool HistoryStore::canImportLegacy() const {
    if (!currentAccountID_) return false;
    const std::optional<QString> guest = AccountDataScope::legacyLearningHistory(options_.dataFolder);
    return guest && QFileInfo::exists(*guest);
}

HistoryStore::Loaded HistoryStore::loadFile(const QString& path) {
    // Only a regular file (or a link to one) is read: opening a named pipe would block until some
    // other program writes to it, and a device never ends.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return {{}, true};
    try {
        return {learning_history::decode(base::files::readCapped(path, learning_history::maxFileBytes)), false};
    } catch (const base::FileError& error) {
        return {{}, error.kind() != base::FileError::Kind::notFound};
    } catch (const base::JsonDecodeError&) {
        return {{}, true};
    }
}

void HistoryStore::switchToPending() { enterPending(QString()); }

void HistoryStore::switchToGuest() {
    const std::optional<QString> path = AccountDataScope::legacyLearningHistory(options_.dataFolder);
    if (!path) {
        enterPending(kNoDataFolder);
        return;
    }
    enterFile(*path, std::nullopt);
}

void HistoryStore::switchToAccount(const QString& accountID) {
    const std::optional<QString> path = AccountDataScope::learningHistoryURL(accountID, options_.dataFolder);
    if (!path) {
        const bool noDataFolder =
            AccountDataScope::validAccountID(accountID) && !AccountDataScope::root(options_.dataFolder);
        enterPending(noDataFolder ? kNoDataFolder : QString());
        return;
    }
    enterFile(*path, accountID);
}

void HistoryStore::enterPending(const QString& status) {
    scopeEntered_ = true;
    currentAccountID_.reset();
    fileURL_.reset();
    activeFileUnreadable_ = false;
    writeFailureShown_ = false;
    publish(QList<LearningRecord>(), status);
}

void HistoryStore::enterFile(const QString& path, const std::optional<QString>& accountID) {
    Loaded loaded = loadFile(path);
    scopeEntered_ = true;
    currentAccountID_ = accountID;
    fileURL_ = path;
    activeFileUnreadable_ = loaded.failed;
    writeFailureShown_ = false;
    publish(std::move(loaded.records), loaded.failed ? kUnreadableFile : QString());
}

void HistoryStore::setAsideUnreadableFile(const QString& path) {
    QString target;
    try {
        target = base::files::setAsideUnreadable(path);
    } catch (const base::FileError& error) {
        throw HistoryError(HistoryError::Kind::setAsideFailed, error.detail());
    }
    activeFileUnreadable_ = false;
    // Gone meanwhile: nothing is left to protect (the notice about it is ended by the caller).
    if (target.isEmpty()) return;
    setAsideNotice_ =
        QStringLiteral("无法读取的学习历史文件已原样另存为 ") + QFileInfo(target).fileName() + QStringLiteral("。");
}

void HistoryStore::write(const QList<LearningRecord>& records) {
    setAsideNotice_.clear();
    const QString path = *fileURL_;
    const QByteArray bytes = learning_history::encode(records);
    if (bytes.size() > learning_history::maxFileBytes) throw HistoryError(HistoryError::Kind::tooLarge);
    if (activeFileUnreadable_) setAsideUnreadableFile(path);
    try {
        base::files::writeAtomically(path, bytes);
    } catch (const base::FileError& error) {
        throw HistoryError(HistoryError::Kind::writeFailed, error.message());
    }
}

QString HistoryStore::statusAfterWrite(const HistoryError* failure) const {
    if (failure) return setAsideNotice_ + failure->message();
    if (!setAsideNotice_.isEmpty()) return setAsideNotice_;
    // A stored change ends the notice of an earlier failed one, and that of a file that is gone.
    if (writeFailureShown_ || (statusMessage_ == kUnreadableFile && !activeFileUnreadable_)) return QString();
    return statusMessage_;
}

void HistoryStore::publish(std::optional<QList<LearningRecord>> records, const QString& status) {
    // Every field is set before any signal goes out, so that a receiver that changes the store
    // (another change, a switch of scope) finds it consistent and is not undone afterwards.
    const bool statusChanged = statusMessage_ != status;
    statusMessage_ = status;
    if (records) records_ = std::move(*records);
    if (records) emit recordsChanged();
    if (statusChanged) emit statusMessageChanged();
}

bool HistoryStore::commit(QList<LearningRecord> next) {
    try {
        write(next);
    } catch (const HistoryError& error) {
        const QString status = statusAfterWrite(&error);
        writeFailureShown_ = true;
        publish(std::nullopt, status);
        return false;
    }
    const QString status = statusAfterWrite(nullptr);
    writeFailureShown_ = false;
    publish(std::move(next), status);
    return true;
}

int HistoryStore::importLegacyToCurrentAccount() {
    if (!currentAccountID_ || !fileURL_) return 0;
    const std::optional<QString> guestPath = AccountDataScope::legacyLearningHistory(options_.dataFolder);
    if (!guestPath) return 0;
    const QList<LearningRecord> guest = loadFile(*guestPath).records;
    if (guest.isEmpty()) return 0;

    QSet<QUuid> ids;
    ids.reserve(records_.size() + guest.size());
    for (const LearningRecord& record : records_) ids.insert(record.id);
    QList<LearningRecord> merged = records_;
    int added = 0;
    for (const LearningRecord& record : guest) {
        if (ids.contains(record.id)) continue;
        ids.insert(record.id);  // a repeated id in the guest file is taken once
        merged.append(record);
        ++added;
    }
    sortNewestFirst(merged);

    try {
        write(merged);
    } catch (const HistoryError&) {
        // The caller shows the error; a file moved aside before the failure is still told here.
        if (!setAsideNotice_.isEmpty()) publish(std::nullopt, setAsideNotice_);
        throw;
    }
    const QString status = statusAfterWrite(nullptr);
    writeFailureShown_ = false;
    publish(std::move(merged), status);
    return added;
}

bool HistoryStore::add(const QString& source, const QString& answer, const QString& mode) {
    LearningRecord record{QUuid::createUuid(), base::Date::now(), mode, source, answer, false};
    if (!fileURL_) {
        // The session token is still being read: which history this answer belongs to is not known yet.
        if (!scopeEntered_) heldAnswers_.prepend(std::move(record));
        return true;
    }
    QList<LearningRecord> next = records_;
    next.prepend(std::move(record));
    keepNewest(next);
    return commit(std::move(next));
}

bool HistoryStore::hasLessonContent(const meridcore::TeacherLearningSession& session) {
    return !base::text::trimmed(lessonTranscript(session)).isEmpty();
}

bool HistoryStore::saveMeridLesson(const meridcore::TeacherLearningSession& session, bool asNote) {
    if (!fileURL_) return false;
    const QString source = lessonSource(session);
    const QString transcript = lessonTranscript(session);
    if (base::text::trimmed(transcript).isEmpty()) return false;

    QList<LearningRecord> next = records_;
    const qsizetype found = indexOfId(next, session.id);
    LearningRecord record{session.id, base::Date::now(), QStringLiteral("MERID"), source, transcript, asNote};
    if (found >= 0) {
        record.createdAt = next.at(found).createdAt;
        record.isNote = asNote || next.at(found).isNote;
        next[found] = std::move(record);
    } else {
        next.prepend(std::move(record));
    }
    // Sorted newest first (stable), following where the saved record lands.
    const qsizetype savedIndex = std::max<qsizetype>(found, 0);
    QList<qsizetype> order(next.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return next.at(a).createdAt.secondsSinceReference > next.at(b).createdAt.secondsSinceReference;
    });
    QList<LearningRecord> sorted;
    sorted.reserve(next.size());
    qsizetype savedPosition = 0;
    for (const qsizetype index : order) {
        if (index == savedIndex) savedPosition = sorted.size();
        sorted.append(std::move(next[index]));
    }
    // The cap drops the oldest records but never the lesson being saved: dated before all others
    // (a clock set back, records dated ahead) it would fall off at once while the save says stored.
    if (savedPosition >= maxRecords) std::swap(sorted[maxRecords - 1], sorted[savedPosition]);
    keepNewest(sorted);
    return commit(std::move(sorted));
}

void HistoryStore::toggleNote(const LearningRecord& record) {
    if (!fileURL_) return;
    const qsizetype found = indexOfId(records_, record.id);
    if (found < 0) return;
    QList<LearningRecord> next = records_;
    next[found].isNote = !next[found].isNote;
    commit(std::move(next));
}

void HistoryStore::remove(const LearningRecord& record) {
    if (!fileURL_) return;
    QList<LearningRecord> next = records_;
    next.removeIf([&](const LearningRecord& candidate) { return candidate.id == record.id; });
    commit(std::move(next));
}

void HistoryStore::deleteAll() {
    if (!fileURL_) return;
    commit({});
}

}  // namespace velquin
