#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "core/study.h"
#include "tutor-engine/merid_tutor_request.h"
#include "tutor-engine/teacher_learning_store.h"

class QButtonGroup;
class QLabel;
class QToolButton;
class QVBoxLayout;

namespace base {
class DefaultsStore;
}

namespace velquin {

class AccountSession;
class AppStore;
class FileChooser;
class MeridFormalWorkspaceView;
class OrvelNativeCoach;

// The coach page's tutor: a bar with the teaching model's tier above the tutor screen. It gives the
// screen the hosted transport in the answer language, the sessions file of the account state and
// the text handed over from the main window, shows the AI-consent sheet when the screen asks, and
// builds a new screen whenever the account state names another identity (the old screen saves to
// its own file as it goes). A screen lives while the page is shown: shown again, the page gets a new
// one, which reads the sessions afresh.
class DizUviziView : public QWidget {
    Q_OBJECT
public:
    static inline const QString modelTierKey = QStringLiteral("orvelMERIDModelTier");
    static inline const QString smokeSwitch = QStringLiteral("--qa-smoke-merid");
    static inline const QString sessionsNamespace = QStringLiteral("com.orvel.merid.standalone");

    struct Options {
        // The AI-consent sheet over the given window.
        std::function<QDialog*(QWidget* parent)> consentSheet;
        // The tutor transport in an answer language. null: the hosted transport.
        std::function<std::shared_ptr<meridcore::MeridTutorTransport>(tamsel::AnswerLanguage)> transport;
        std::shared_ptr<FileChooser> chooser;  // null: Qt's dialogs
        QStringList arguments;                 // the program's arguments
        QString dataFolder;                    // of the sessions files; empty: ~/.local/share
    };

    // Where the sessions of an account state live, and the identity the screen is built for.
    struct Storage {
        meridcore::TeacherLearningStore store;
        QString identityKey;
    };
    // A check run always gets a fresh throwaway file; a confirmed account its own file; signed in
    // without a usable account id a throwaway file; a guest the application's own file.
    static QString identityKeyOf(const std::optional<QString>& accountID, bool signedIn);
    static Storage resolveStorage(const QStringList& arguments, const std::optional<QString>& accountID,
                                  bool signedIn, const QString& dataFolder = QString());

    DizUviziView(AppStore& store, AccountSession& account, OrvelNativeCoach& coach, base::DefaultsStore& defaults,
                 Options options, std::function<void()> onClose, QWidget* parent = nullptr);

    MeridFormalWorkspaceView* screen() const { return screen_; }
    const QString& identityKey() const { return identityKey_; }
    QToolButton* flashSegment() const { return flash_; }
    QToolButton* proSegment() const { return pro_; }
    QDialog* consentSheet() const { return consent_; }

    void retranslate();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void rebuildScreen();
    void identityMayHaveChanged();
    void showTier();
    void showConsent();
    void restyle();

    AppStore& store_;
    AccountSession& account_;
    OrvelNativeCoach& coach_;
    base::DefaultsStore& defaults_;
    Options options_;
    std::function<void()> onClose_;
    QString identityKey_;

    QWidget* bar_ = nullptr;
    QLabel* barSymbol_ = nullptr;
    QLabel* barTitle_ = nullptr;
    QButtonGroup* tiers_ = nullptr;
    QToolButton* flash_ = nullptr;
    QToolButton* pro_ = nullptr;
    QVBoxLayout* stack_ = nullptr;
    MeridFormalWorkspaceView* screen_ = nullptr;
    // The screen was hidden with the page: the next showing builds a new one.
    bool screenSpent_ = false;
    QPointer<QDialog> consent_;
};

}  // namespace velquin
