#include "app/account/account_data_scope.h"

#include <QDir>
#include <QStandardPaths>

namespace velquin {

namespace {

bool isIdCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'_' ||
           u == u'-';
}

std::optional<QString> withFile(const std::optional<QString>& folder, const QString& name) {
    if (!folder) return std::nullopt;
    return *folder + u'/' + name;
}

}  // namespace

bool AccountDataScope::validAccountID(const QString& id) {
    if (id.size() < 8 || id.size() > 128) return false;
    for (const QChar c : id)
        if (!isIdCharacter(c)) return false;
    return true;
}

std::optional<QString> AccountDataScope::dataLocation() {
    // Qt resolves ~/.local/share against "/" when HOME is unset; that is no data folder of this user.
    const QString xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    const bool xdgUsable = !xdgDataHome.isEmpty() && QDir::isAbsolutePath(xdgDataHome);
    const QString home = qEnvironmentVariable("HOME");
    if (!xdgUsable && (home.isEmpty() || QDir::isRelativePath(home))) return std::nullopt;
    const QString location = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (location.isEmpty() || QDir::isRelativePath(location)) return std::nullopt;
    return QDir::cleanPath(location);
}

std::optional<QString> AccountDataScope::root(const QString& dataFolder) {
    std::optional<QString> base;
    if (dataFolder.isEmpty())
        base = dataLocation();
    else if (QDir::isAbsolutePath(dataFolder))
        base = QDir::cleanPath(dataFolder);
    if (!base) return std::nullopt;
    // cleanPath keeps "/" as "/", so the join never produces "//".
    return (*base == QStringLiteral("/") ? QString() : *base) + u'/' + appNamespace();
}

std::optional<QString> AccountDataScope::accountDirectory(const QString& id, const QString& dataFolder) {
    if (!validAccountID(id)) return std::nullopt;
    const std::optional<QString> base = root(dataFolder);
    if (!base) return std::nullopt;
    return *base + QStringLiteral("/users/u_") + id;
}

std::optional<QString> AccountDataScope::learningHistoryURL(const QString& id, const QString& dataFolder) {
    return withFile(accountDirectory(id, dataFolder), learningHistoryFileName());
}

std::optional<QString> AccountDataScope::meridSessionsURL(const QString& id, const QString& dataFolder) {
    return withFile(accountDirectory(id, dataFolder), meridSessionsFileName());
}

std::optional<QString> AccountDataScope::legacyLearningHistory(const QString& dataFolder) {
    return withFile(root(dataFolder), learningHistoryFileName());
}

std::optional<QString> AccountDataScope::legacyMeridSessions(const QString& dataFolder) {
    return withFile(root(dataFolder), meridSessionsFileName());
}

}  // namespace velquin
