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

// The text of a caught failure: an Error's message, another exception's what(), or nothing.
QString messageOf(const std::exception_ptr& failure);

// The work was cancelled. Never shown to the user.
class CancellationError : public Error {
public:
    QString message() const override { return QStringLiteral("cancelled"); }
};

}  // namespace base
