#pragma once

#include <QString>

#include <optional>

// Where the data of a user lies: one application data folder in the user's data location
// (~/.local/share/com.orvel.formac) and inside it one folder per confirmed account. Computes
// locations only: reads nothing, writes nothing, creates no folder, and recomputes on every call.
namespace velquin {

class AccountDataScope {
public:
    AccountDataScope() = delete;

    // The name of the application data folder, also the tutor sessions store's namespace.
    static QString appNamespace() { return QStringLiteral("com.orvel.formac"); }
    static QString learningHistoryFileName() { return QStringLiteral("learning-history.json"); }
    static QString meridSessionsFileName() { return QStringLiteral("teacher_sessions.json"); }

    // True when the whole id is 8 to 128 ASCII letters, digits, "_" or "-". Nothing else (no
    // trailing newline, no dot, no slash) ever becomes a folder name.
    static bool validAccountID(const QString& id);

    // The user's generic data location (~/.local/share or $XDG_DATA_HOME), or nothing when there
    // is no usable one: no home folder (where Qt would fall back to "/") or a relative location.
    static std::optional<QString> dataLocation();

    // Every location below takes an optional data folder that replaces the user's data location
    // (it must be an absolute path); nothing when there is no usable data location.
    static std::optional<QString> root(const QString& dataFolder = {});
    // root/users/u_<id>; nothing when the id fails the rule.
    static std::optional<QString> accountDirectory(const QString& id, const QString& dataFolder = {});
    // The account's learning history, accountDirectory/learning-history.json.
    static std::optional<QString> learningHistoryURL(const QString& id, const QString& dataFolder = {});
    // The account's tutor sessions, accountDirectory/teacher_sessions.json.
    static std::optional<QString> meridSessionsURL(const QString& id, const QString& dataFolder = {});
    // The account-less learning history (the guest history), root/learning-history.json.
    static std::optional<QString> legacyLearningHistory(const QString& dataFolder = {});
    // The older account-less tutor sessions, root/teacher_sessions.json.
    static std::optional<QString> legacyMeridSessions(const QString& dataFolder = {});
};

}  // namespace velquin
