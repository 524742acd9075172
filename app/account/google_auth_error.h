#pragma once

#include <QString>

#include <optional>

#include "base/errors.h"

namespace velquin {

// The failures of a Google sign-in that its own steps report (the loopback listener, the token
// exchange, the identity service); errors of the network and the JSON parser pass through as they
// come. The texts exist in Chinese only.
class GoogleAuthError : public base::Error {
public:
    enum class Case {
        googleExchange,       // Google's token endpoint answered with another status than 200
        brokerRejected,       // the identity service answered with another status than 200
        invalidResponse,      // a reply or a redirect that cannot be used
        browserUnavailable,   // the authorization page could not be opened
        timeout,              // no usable redirect came (or the wait was closed)
        authorizationDenied,  // the user refused (or cancelled) the authorization in the browser
    };

    explicit GoogleAuthError(Case kind, int status = 0, QString code = {})
        : case_(kind), status_(status), code_(std::move(code)) {}

    Case kind() const { return case_; }
    // For googleExchange and brokerRejected: the HTTP status (0 when the reply was not HTTP) and
    // the error code that passed the code rule.
    int status() const { return status_; }
    const QString& code() const { return code_; }
    QString message() const override;

    // The code as the reply gave it when it passes the rule (1 to 64 ASCII letters, digits or
    // underscores); `fallback` when the reply gave none; "unknown" otherwise.
    static QString safeCode(const std::optional<QString>& code, const QString& fallback);

    bool operator==(const GoogleAuthError& other) const {
        return case_ == other.case_ && status_ == other.status_ && code_ == other.code_;
    }

private:
    Case case_;
    int status_;
    QString code_;
};

}  // namespace velquin
