#include "core/local_document_reference.h"

#include <QDir>
#include <QStringList>

#include "base/text.h"

namespace tamsel {

namespace {

constexpr qsizetype kMaximumLength = 4096;

}  // namespace

const QStringList& LocalDocumentReference::supportedExtensions() {
    static const QStringList list{
        QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("tif"),
        QStringLiteral("tiff"), QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("bmp"),
        QStringLiteral("gif"),  QStringLiteral("webp"), QStringLiteral("pdf"),  QStringLiteral("txt"),
        QStringLiteral("md"),   QStringLiteral("text"),
    };
    return list;
}

namespace {

// The extension of the last path component: what follows its last dot, when that dot is neither
// the first nor the last character (".profile" and "name." have none).
QString pathExtension(const QString& path) {
    QString component = path;
    while (component.size() > 1 && component.endsWith(QLatin1Char('/'))) component.chop(1);
    component = component.mid(component.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == component.size() - 1) return {};
    return component.mid(dot + 1);
}

bool isWrappedIn(const QString& text, const QString& quote) {
    return base::text::graphemePrefix(text, 1) == quote && base::text::graphemeSuffix(text, 1) == quote;
}

}  // namespace

bool LocalDocumentReference::isSupported(const QUrl& url) {
    if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) return false;
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) return false;
    return supportedExtensions().contains(base::text::lower(pathExtension(url.path())));
}

std::optional<QUrl> LocalDocumentReference::url(const QString& text) {
    QString candidate = base::text::trimmed(text);
    if (candidate.isEmpty()) return std::nullopt;
    if (base::text::graphemeCountExceeds(candidate, kMaximumLength)) return std::nullopt;
    if (candidate.contains(QLatin1Char('\n')) || candidate.contains(QLatin1Char('\r')) ||
        candidate.contains(QChar(u'\0')))
        return std::nullopt;

    if (base::text::graphemeCount(candidate) >= 2 &&
        (isWrappedIn(candidate, QStringLiteral("\"")) || isWrappedIn(candidate, QStringLiteral("'"))))
        candidate = candidate.mid(1, candidate.size() - 2);

    if (candidate.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        QUrl parsed(candidate, QUrl::StrictMode);
        if (!parsed.isValid() || parsed.hasQuery() || parsed.hasFragment()) return std::nullopt;
        // An encoded NUL ("%00") names no file: the system call would stop at it and open another.
        if (parsed.path().contains(QChar(u'\0'))) return std::nullopt;
        if (!isSupported(parsed)) return std::nullopt;
        // "localhost" names this machine; without it toLocalFile() gives the plain path, not "//localhost/…".
        parsed.setHost(QString());
        return parsed;
    }

    QString path = candidate;
    path.replace(QLatin1String("\\ "), QLatin1String(" "));
    if (path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    else if (!path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    // Built by hand: QUrl::fromLocalFile reads a leading "//" as a network share and turns the first
    // component into a host, while here every such text is a plain local path.
    QUrl fileUrl;
    fileUrl.setScheme(QStringLiteral("file"));
    fileUrl.setHost(QLatin1String(""));  // present and empty, as in "file:///"
    fileUrl.setPath(path, QUrl::DecodedMode);
    if (!isSupported(fileUrl)) return std::nullopt;
    return fileUrl;
}

}  // namespace tamsel
