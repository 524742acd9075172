#pragma once

#include <QString>

#include "base/errors.h"

namespace velquin {

// A reply of the account or identity service that is not a success: its HTTP status (or one the
// client chose: 502 for a sign-in reply without a token) and the service's error code, or the
// fallback "service_unavailable" when the reply names none, or "unknown" when the code it names
// is not 1 to 64 ASCII letters, digits or underscores.
class AccountServiceError : public base::Error {
public:
    AccountServiceError(qint64 status, QString code) : status_(status), code_(std::move(code)) {}

    qint64 status() const { return status_; }
    const QString& code() const { return code_; }
    // The text shown for it. The code appears only for 503 and for statuses without a text of their own.
    QString message() const override;

    // The code of an error reply's body: "error"."code" when it passes the code rule, "unknown"
    // when it does not, "service_unavailable" when the body names no code.
    static QString codeFromBody(const QByteArray& body);
    // True when the whole text is 1 to 64 ASCII letters, digits or underscores.
    static bool isValidCode(const QString& code);

    bool operator==(const AccountServiceError& other) const { return status_ == other.status_ && code_ == other.code_; }

private:
    qint64 status_;
    QString code_;
};

}  // namespace velquin
