#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QStackedWidget;

namespace velquin {

class AppStore;
class CoachPage;
class HistoryPage;
class HomePage;
class OrvelNativeCoach;
class SelectionController;
class SheetBinding;
class Sidebar;
class WorkspaceRouter;
struct ApplicationParts;

// The main window's study workspace: the sidebar beside the current page (no sidebar on the coach
// page), on the paper background. It presents the PDF page-range sheet, moves the first-run tour
// along with what happens, and each time it comes on screen refreshes a signed-in account.
class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 840;
    static constexpr int minimumHeight = 560;

    ContentView(AppStore& store, WorkspaceRouter& router, SelectionController& selection, OrvelNativeCoach& coach,
                const ApplicationParts& parts, QWidget* parent = nullptr);
    ~ContentView() override;

    Sidebar* sidebar() const { return sidebar_; }
    QWidget* sidebarDivider() const { return divider_; }
    QStackedWidget* pages() const { return pages_; }
    HomePage* homePage() const { return homePage_; }
    // Built on first use.
    HistoryPage* historyPage();
    CoachPage* coachPage();

Q_SIGNALS:
    // Each time the workspace came on screen, after the tour and the account had their turn.
    void cameOnScreen();
    // A page was built: the workspace's minimum size may have grown.
    void pageBuilt();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showPage();
    void addPage(QWidget* page);
    void comeOnScreen();
    void answerChanged();

    AppStore& store_;
    WorkspaceRouter& router_;
    SelectionController& selection_;
    OrvelNativeCoach& tour_;
    const ApplicationParts& parts_;

    Sidebar* sidebar_ = nullptr;
    QWidget* divider_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    HomePage* homePage_ = nullptr;
    HistoryPage* historyPage_ = nullptr;
    CoachPage* coachPage_ = nullptr;
    SheetBinding* pdfSheet_ = nullptr;
    std::optional<QString> shownAnswer_;
};

}  // namespace velquin
