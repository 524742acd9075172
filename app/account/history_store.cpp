#include "app/account/history_store.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#include "app/account/account_data_scope.h"
#include "app/account/history_error.h"
#include "base/files.h"
#include "base/text.h"
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

// Renames `from` to `to` unless `to` exists. Returns 0 or an errno value.
int renameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace flag: check first.
    struct stat info {};
    if (::lstat(target.constData(), &info) == 0) return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

}  // namespace

HistoryStore::HistoryStore(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
    if (sessionTokenHeld(options_.loadSessionToken)) return;  // pending until the account is confirmed
    switchToGuest();
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
    currentAccountID_.reset();
    fileURL_.reset();
    activeFileUnreadable_ = false;
    writeFailureShown_ = false;
    setRecords({});
    setStatus(status);
}

void HistoryStore::enterFile(const QString& path, const std::optional<QString>& accountID) {
    Loaded loaded = loadFile(path);
    currentAccountID_ = accountID;
    fileURL_ = path;
    activeFileUnreadable_ = loaded.failed;
    writeFailureShown_ = false;
    setRecords(std::move(loaded.records));
    setStatus(loaded.failed ? kUnreadableFile : QString());
}

void HistoryStore::setRecords(QList<LearningRecord> records) {
    records_ = std::move(records);
    emit recordsChanged();
}

void HistoryStore::setStatus(const QString& message) {
    if (statusMessage_ == message) return;
    statusMessage_ = message;
    emit statusMessageChanged();
}

void HistoryStore::setAsideUnreadableFile() {
    const QString& path = *fileURL_;
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path + QStringLiteral(".unreadable-") + stamp;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString target = attempt == 1 ? base : base + u'-' + QString::number(attempt);
        const int error = renameWithoutReplacing(path, target);
        if (error == EEXIST) continue;
        if (error == ENOENT) {
            // The file is gone: nothing is left to protect, and the notice about it no longer holds.
            activeFileUnreadable_ = false;
            if (statusMessage_ == kUnreadableFile) setStatus(QString());
            return;
        }
        if (error != 0)
            throw HistoryError(HistoryError::Kind::setAsideFailed, QString::fromLocal8Bit(std::strerror(error)));
        // Only a regular file is made owner-only: 0600 would lock its owner out of a folder.
        const QByteArray movedName = QFile::encodeName(target);
        struct stat moved {};
        if (::lstat(movedName.constData(), &moved) == 0 && S_ISREG(moved.st_mode))
            ::chmod(movedName.constData(), S_IRUSR | S_IWUSR);
        activeFileUnreadable_ = false;
        setAsideNotice_ = QStringLiteral("无法读取的学习历史文件已原样另存为 ") + QFileInfo(target).fileName() +
                          QStringLiteral("。");
        setStatus(setAsideNotice_);
        return;
    }
    throw HistoryError(HistoryError::Kind::setAsideFailed);
}

void HistoryStore::write(const QList<LearningRecord>& records) {
    const QByteArray bytes = learning_history::encode(records);
    if (bytes.size() > learning_history::maxFileBytes) throw HistoryError(HistoryError::Kind::tooLarge);
    if (activeFileUnreadable_) setAsideUnreadableFile();
    try {
        base::files::writeAtomically(*fileURL_, bytes);
    } catch (const base::FileError& error) {
        throw HistoryError(HistoryError::Kind::writeFailed, error.message());
    }
}

bool HistoryStore::commit(QList<LearningRecord> next) {
    setAsideNotice_.clear();
    try {
        write(next);
    } catch (const HistoryError& error) {
        setStatus(setAsideNotice_.isEmpty() ? error.message() : setAsideNotice_ + error.message());
        writeFailureShown_ = true;
        return false;
    }
    // A stored change ends the notice of an earlier failed one; a notice about a moved-aside file stays.
    if (writeFailureShown_ && setAsideNotice_.isEmpty()) setStatus(QString());
    writeFailureShown_ = false;
    setRecords(std::move(next));
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

    setAsideNotice_.clear();
    write(merged);
    if (writeFailureShown_ && setAsideNotice_.isEmpty()) setStatus(QString());
    writeFailureShown_ = false;
    setRecords(std::move(merged));
    return added;
}

void HistoryStore::add(const QString& source, const QString& answer, const QString& mode) {
    if (!fileURL_) return;
    QList<LearningRecord> next = records_;
    next.prepend(LearningRecord{QUuid::createUuid(), base::Date::now(), mode, source, answer, false});
    keepNewest(next);
    commit(std::move(next));
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
    sortNewestFirst(next);
    keepNewest(next);
    return commit(std::move(next));
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
