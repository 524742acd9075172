#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace velquin {

class AppStore;
class WorkspaceRouter;

// The tutor page: a header bar (back to the home page, the product and tutor names, the history
// and account buttons) above the tutor's own screen, which the tutor area provides. Without it
// the page shows its title. It fits in the workspace's least height, as the other pages do.
class CoachPage : public QWidget {
    Q_OBJECT
public:
    // Builds the tutor's screen over the store; `close` leaves the tutor page.
    using HostFactory = std::function<QWidget*(AppStore& store, std::function<void()> close, QWidget* parent)>;

    static constexpr int headerHeight = 56;

    CoachPage(AppStore& store, WorkspaceRouter& router, const HostFactory& host, QWidget* parent = nullptr);

    QToolButton* backButton() const { return back_; }
    QToolButton* historyButton() const { return history_; }
    QToolButton* accountButton() const { return account_; }

    void retranslate();

private:
    void applyScheme();

    AppStore& store_;
    WorkspaceRouter& router_;
    QWidget* header_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* history_ = nullptr;
    QToolButton* account_ = nullptr;
    QLabel* icon_ = nullptr;
    QLabel* slash_ = nullptr;
    QWidget* separator_ = nullptr;
    QLabel* title_ = nullptr;  // while there is no tutor screen
};

}  // namespace velquin
