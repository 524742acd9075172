#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace base {
class DefaultsStore;
}

namespace velquin {

class AccountSession;
class BrowserOpener;
class WrappedText;

// The account sheet: sign-in by e-mail and password or with Google while signed out; while signed
// in the verification e-mail, the display name, the copy of the older tutor sessions, the refresh
// and sign-out. It keeps no account state: it shows the session's fields as they change, calls its
// operations without waiting for them, and every outcome reaches it as the session's feedback.
// Opened window-modal with open(); Escape or the close button closes it.
class AccountProfileView : public QDialog {
    Q_OBJECT
public:
    using SheetFactory = std::function<QDialog*(QWidget* parent)>;

    struct Options {
        // The product's website behind the footer link (ORVEL_WEBSITE_URL, else the built-in one).
        QUrl website = configuredWebsite();
        // Opens the website; null: the desktop's browser.
        std::shared_ptr<BrowserOpener> browser;
        // The privacy notice and the AI-consent sheet shown over this one; a button whose sheet is
        // not given is not shown.
        SheetFactory privacyDisclosure;
        SheetFactory privacyConsent;
    };

    static constexpr int sheetWidth = 490;

    AccountProfileView(AccountSession& account, base::DefaultsStore& defaults, Options options,
                       QWidget* parent = nullptr);
    ~AccountProfileView() override;

    // The sheet's height for the height of the main screen's visible area (none: no screen).
    static int sheetHeight(std::optional<int> visibleHeight);
    static QUrl configuredWebsite();

    void retranslate();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void restyle();
    // Shows the session's state: sections, blocks, texts and which controls may be used.
    void showState();
    // As tall as the content at the sheet's width, up to the height the screen allows.
    void fitHeight();
    void signInPressed();
    void openSheet(const SheetFactory& factory);

    AccountSession& account_;
    base::DefaultsStore& defaults_;
    Options options_;

    QScrollArea* scroll_ = nullptr;
    QWidget* avatar_ = nullptr;
    WrappedText* title_ = nullptr;
    WrappedText* email_ = nullptr;
    QWidget* signInSection_ = nullptr;
    QWidget* signedInSection_ = nullptr;
    QLabel* signInHeadline_ = nullptr;
    QLineEdit* emailField_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QLabel* serviceNotice_ = nullptr;
    QPushButton* privacyButton_ = nullptr;
    QPushButton* consentButton_ = nullptr;
    QPushButton* signInButton_ = nullptr;
    QLabel* orLabel_ = nullptr;
    QPushButton* googleButton_ = nullptr;
    QPushButton* appleButton_ = nullptr;
    QLabel* apiKeyLine_ = nullptr;
    QLabel* headingSymbol_ = nullptr;
    QLabel* signedInHeading_ = nullptr;
    QWidget* verificationBlock_ = nullptr;
    QLabel* verificationNotice_ = nullptr;
    QPushButton* verificationButton_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QPushButton* saveNameButton_ = nullptr;
    QLabel* nameLine_ = nullptr;
    QWidget* importBlock_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QLabel* importLine_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QPushButton* signOutButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    WrappedText* feedback_ = nullptr;
    QPushButton* websiteButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

}  // namespace velquin
