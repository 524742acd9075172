#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Recognises a pasted or typed path of a local picture, PDF or plain-text file and turns it into a
// file URL. Never touches the file system: whether the file exists is found out when it is read.
namespace tamsel {

struct LocalDocumentReference {
    // The file URL the text refers to: an absolute path ("/…" or "~/…", shell-escaped spaces
    // allowed), optionally quoted, or a "file://" URL without query or fragment. Nothing when the
    // text is not a one-line reference to a supported local file.
    static std::optional<QUrl> url(const QString& text);

    // A file URL on this machine (no host or "localhost") whose extension, lowered, is supported.
    static bool isSupported(const QUrl& url);

    // The supported extensions, lower case: pictures, PDF and plain text.
    static const QStringList& supportedExtensions();
};

}  // namespace tamsel
