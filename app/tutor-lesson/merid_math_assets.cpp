#include "app/tutor-lesson/merid_math_assets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace velquin {

namespace {

std::optional<QString>& overridden() {
    static std::optional<QString> directory;
    return directory;
}

}  // namespace

const char* const MeridMathAssets::fileNames[4] = {"math.html", "katex.min.js", "katex.min.css", "auto-render.min.js"};

std::optional<QString> MeridMathAssets::directory() {
    if (overridden()) {
        if (overridden()->isEmpty() || !QFileInfo(*overridden()).isDir()) return std::nullopt;
        return *overridden();
    }
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() + QStringLiteral("/../share/orvel-formac/MeridMath");
#ifdef ORVEL_MERID_MATH_BUILD_DIR
    candidates << QStringLiteral(ORVEL_MERID_MATH_BUILD_DIR);
#endif
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isDir()) return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    return std::nullopt;
}

bool MeridMathAssets::available() {
    const std::optional<QString> folder = directory();
    if (!folder) return false;
    for (const char* name : fileNames)
        if (!QFileInfo(*folder + QLatin1Char('/') + QLatin1String(name)).isFile()) return false;
    return true;
}

std::optional<QString> MeridMathAssets::pagePath() {
    const std::optional<QString> folder = directory();
    if (!folder) return std::nullopt;
    return *folder + QStringLiteral("/math.html");
}

void MeridMathAssets::setDirectory(std::optional<QString> directory) { overridden() = std::move(directory); }

}  // namespace velquin
