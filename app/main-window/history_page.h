#pragma once

#include <QWidget>

namespace velquin {

class AppStore;
class HistoryView;
class WorkspaceRouter;
struct LearningRecord;

// The learning-history page over the store's history. Continuing a record loads it into the study
// flow first and then shows the home page; closing the page shows the home page.
class HistoryPage : public QWidget {
    Q_OBJECT
public:
    HistoryPage(AppStore& store, WorkspaceRouter& router, QWidget* parent = nullptr);

    HistoryView* view() const { return view_; }

    void continueLearning(const LearningRecord& record);
    void leave();

private:
    AppStore& store_;
    WorkspaceRouter& router_;
    HistoryView* view_ = nullptr;
};

}  // namespace velquin
