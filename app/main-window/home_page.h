#pragma once

#include <QScrollArea>

#include <memory>

class QLabel;
class QVBoxLayout;

namespace velquin {

class AnswerSection;
class AppStore;
class ControlBar;
class ErrorBanner;
class FileChooser;
class HomeFooter;
class InputCard;
class OrvelNativeCoach;
class RecentHistorySection;
class WorkspaceRouter;

// The home page: a scrolling column at most 1000 wide, centred at the top of the page, that holds
// the study workspace's sections from top to bottom, 17 apart: the header and the greeting, the
// error banner, the input card, the control bar, the answer, the recent history and the footer.
class HomePage : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int maximumColumnWidth = 1000;

    // Without a chooser the import uses the desktop's file dialog.
    HomePage(AppStore& store, WorkspaceRouter& router, OrvelNativeCoach& coach,
             std::shared_ptr<FileChooser> chooser = {}, QWidget* parent = nullptr);

    // The column the sections are added to, in order.
    QVBoxLayout* column() const { return column_; }
    QWidget* columnWidget() const { return columnWidget_; }

    ErrorBanner* errorBanner() const { return banner_; }
    InputCard* inputCard() const { return input_; }
    ControlBar* controlBar() const { return controls_; }
    AnswerSection* answerSection() const { return answer_; }
    RecentHistorySection* recentHistory() const { return recent_; }
    HomeFooter* footer() const { return footer_; }

    // The height that shows the whole column at the page's width `width`, without scrolling.
    int neededHeight(int width) const;

    void retranslate();

private:
    void restyle();

    QWidget* columnWidget_ = nullptr;
    QVBoxLayout* column_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QLabel* heroTitle_ = nullptr;
    QLabel* heroSubtitle_ = nullptr;
    ErrorBanner* banner_ = nullptr;
    InputCard* input_ = nullptr;
    ControlBar* controls_ = nullptr;
    AnswerSection* answer_ = nullptr;
    RecentHistorySection* recent_ = nullptr;
    HomeFooter* footer_ = nullptr;
};

}  // namespace velquin
