#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>

namespace base {
class DefaultsStore;
}

namespace velquin {

class AccountServiceClient;
class GoogleDesktopOAuth;
class HistoryStore;
class SessionKeyring;
class StudyFlowReset;

// Picks, of a message's three wordings, the one for the interface language shown now.
using AccountWording = std::function<QString(const QString& chinese, const QString& english, const QString& french)>;

// Everything the account session is built over. Empty members get the production implementation,
// except the study flow and the wording, which the application hands over (configureShared).
struct AccountSessionServices {
    base::DefaultsStore* defaults = nullptr;       // null: the standard store
    HistoryStore* history = nullptr;               // null: the shared history, reading the keyring
    std::shared_ptr<SessionKeyring> keyring;       // null: the desktop's keyring
    std::shared_ptr<StudyFlowReset> studyFlow;     // null: no study flow to reset
    std::shared_ptr<AccountServiceClient> client;  // null: the services named by the environment
    std::shared_ptr<GoogleDesktopOAuth> google;     // null: the configured Google sign-in in the browser
    AccountWording wording;                         // null: the Chinese wording
    // Replaces the user's data location (~/.local/share) for the tutor sessions files when not
    // empty; must be absolute.
    QString dataFolder;

    AccountSessionServices completed() const;
};

// The account of whoever uses the application: whether a session token is held, which account
// the account service confirmed for it, how the user signed in, the e-mail, display name and
// verification flags, whether an account operation runs, and the last status text for the
// account sheet. One shared instance serves the application; it lives on the main thread.
//
// States, read from `signedIn` and `accountID`: signed out (no token; guest history), pending (a
// token, no confirmed account; nothing is recorded) and confirmed (the account's own history).
// The operations never throw and return nothing of their own: each ends by setting `feedback`.
// Callers may await the returned tasks or let them run (views never await them).
//
// Stale results are dropped by two counters: every refresh captures `refreshSequence` and
// `sessionEpoch` and applies its reply only if neither changed meanwhile; sign-in and sign-out
// change them. Keyring calls run on the keyring thread in the order they were made.
class AccountSession : public QObject {
    Q_OBJECT
public:
    static inline const QString emailKey = QStringLiteral("orvelAccountEmail");
    static inline const QString loginKindKey = QStringLiteral("orvelAccountLoginKind");
    // The display name while no account is confirmed; "orvelProfileDisplayName.<id>" per account.
    static inline const QString displayNameKey = QStringLiteral("orvelProfileDisplayName");
    static constexpr qsizetype preferredNameLimit = 40;

    // Reads the e-mail, the display name and the login kind from the defaults store at once and
    // the keyring in the background (`started` turns true when that read has ended).
    explicit AccountSession(AccountSessionServices services = {}, QObject* parent = nullptr);
    ~AccountSession() override;

    // The application's session, made on first use with the services of configureShared().
    static AccountSession& shared();
    // Sets the services of the shared session; has no effect once it exists.
    static void configureShared(AccountSessionServices services);

    const QString& email() const { return email_; }
    const std::optional<QString>& accountID() const { return accountID_; }
    const QString& loginKind() const { return loginKind_; }
    const QString& preferredName() const { return preferredName_; }
    bool signedIn() const { return signedIn_; }
    bool emailVerified() const { return emailVerified_; }
    bool identityVerified() const { return identityVerified_; }
    bool working() const { return working_; }
    // The last status text. A message with wordings of its own comes in the interface language of
    // the moment it is read (a language switch changes it without `feedbackChanged`); any other is
    // Chinese, for the views to translate.
    QString feedback() const;
    // The keyring has been read once since start.
    bool started() const { return started_; }

    // The preferred name; else the e-mail's first run of characters without "@"; else "我的账户".
    QString displayName() const;
    // The first character of displayName(), upper-cased.
    QString initials() const;

    // Trims the name, keeps at most 40 characters, and stores it for the confirmed account (or as
    // the name used while none is confirmed).
    void setPreferredName(const QString& name);

    // E-mail sign-in (which also creates the account): POST /v1/accounts with the e-mail and the
    // password exactly as typed. Ignored while `working`. On success the token goes to the
    // keyring, the study flow is reset, the history turns pending, and a refresh confirms the
    // account. A failure changes nothing but `feedback`.
    // (Coroutines here take no default arguments: GCC 12 destroys such an argument twice.)
    QCoro::Task<void> signIn(QString email, QString password);
    // Google sign-in: the browser flow up to the identity service's reply, whose "token", "kind"
    // ("google"), "identity_verified" (true) and "id" must hold; then as the e-mail sign-in, with the
    // login kind "google". Ignored while `working`. When the refresh confirms another account than
    // the reply named, the session is signed out again. Every failure ends in `feedback` with its
    // own text after the "Google sign-in failed" prefix.
    QCoro::Task<void> signInWithGoogle();
    // Reads the account of the held token (GET /v1/account) and applies it; a failure leaves the
    // session pending with its message. Nothing happens while signed out or without a token.
    QCoro::Task<void> refresh();
    // Asks the verification service to send the verification e-mail of an unverified e-mail
    // account; reports the outcome in `feedback`.
    QCoro::Task<void> sendVerificationEmail();
    // Removes the token from the keyring and returns everything to the guest state. When the
    // keyring refuses, only its message is shown and the session stays as it was.
    QCoro::Task<void> signOut();
    // Copies the sessions of the older account-less tutor sessions file into the confirmed
    // account's file, adding only those it lacks; the older file is never changed. Runs in the
    // call (like every write of the tutor sessions files, on the main thread).
    void importLegacyMeridHistory();

Q_SIGNALS:
    void emailChanged();
    void accountIDChanged();
    void loginKindChanged();
    void preferredNameChanged();
    void signedInChanged();
    void emailVerifiedChanged();
    void identityVerifiedChanged();
    void workingChanged();
    void feedbackChanged();
    void startedChanged();
    // Sessions were added to this account's tutor sessions file: a tutor screen showing that
    // account must reload them before it saves again.
    void meridSessionsImported(const QString& accountID);

private:
    // A status text: Chinese alone, or with the message's English and French wordings.
    struct Feedback {
        QString chinese;
        QString english;
        QString french;
        bool operator==(const Feedback&) const = default;
    };

    template <typename T, typename Signal>
    void assign(T& field, const T& value, Signal signal) {
        if (field == value) return;
        field = value;
        Q_EMIT(this->*signal)();
    }

    void setFeedback(const Feedback& feedback) { assign(feedback_, feedback, &AccountSession::feedbackChanged); }
    QCoro::Task<void> readKeyringAtStart();
    void applyAccount(const QJsonObject& reply);
    void applyRefreshFailure(const QString& description);
    // Removes the token on the keyring thread; the text of what went wrong, if anything.
    QCoro::Task<std::optional<QString>> removeToken();
    // Everything of a sign-out after the token left the keyring, up to the guest history.
    void endSession();
    // Starts a signed-in session of `loginKind` after the token was saved: the study flow reset,
    // the history pending, the e-mail stored; the refresh that confirms the account comes next.
    void beginPendingSession(const QString& loginKind, const QString& email);
    void setGoogleFailure(const QString& description);

    AccountSessionServices services_;
    base::DefaultsStore& defaults_;
    HistoryStore& history_;

    QString email_;
    std::optional<QString> accountID_;
    QString loginKind_ = QStringLiteral("native");
    QString preferredName_;
    bool signedIn_ = false;
    bool emailVerified_ = false;
    bool identityVerified_ = false;
    bool working_ = false;
    Feedback feedback_;
    bool started_ = false;

    quint64 sessionEpoch_ = 0;
    quint64 refreshSequence_ = 0;
};

}  // namespace velquin
