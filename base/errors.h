#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace base {

// Root of every error this program throws. `message()` is the exact text the interface shows.
class Error : public std::exception {
public:
    ~Error() override = default;
    virtual QString message() const = 0;
    const char* what() const noexcept override;

private:
    mutable QByteArray what_;
};

// A failure that carries its text as it came (file system, child programs, recogniser, network).
class SystemError : public Error {
public:
    explicit SystemError(QString text) : text_(std::move(text)) {}
    QString message() const override { return text_; }

private:
    QString text_;
};

// The interface's text for a failure the system reported as `errorNumber` (errno): a Chinese text of
// the string table for the common ones (no such file, permission denied, disk full, read-only file
// system, file too large, is a folder, …), so that it is shown in the interface language; the
// system's own words for any other.
QString systemErrorText(int errorNumber);

// Whether `detail` is one of the interface's own texts (written in Chinese, translated where it is
// shown) rather than words the system or a library gave in its own language.
bool isInterfaceText(const QString& detail);

// The text of a caught failure: an Error's message, another exception's what(), or nothing.
QString messageOf(const std::exception_ptr& failure);

// The work was cancelled. Never shown to the user.
class CancellationError : public Error {
public:
    QString message() const override { return QStringLiteral("cancelled"); }
};

}  // namespace base
