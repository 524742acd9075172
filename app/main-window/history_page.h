#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace velquin {

class AppStore;
class WorkspaceRouter;
struct LearningRecord;

// The learning-history page. Continuing a record loads it into the study flow first and then
// shows the home page; closing the page shows the home page.
class HistoryPage : public QWidget {
    Q_OBJECT
public:
    HistoryPage(AppStore& store, WorkspaceRouter& router, QWidget* parent = nullptr);

    void continueLearning(const LearningRecord& record);
    void leave();

    void retranslate();

private:
    AppStore& store_;
    WorkspaceRouter& router_;
    QVBoxLayout* layout_ = nullptr;
    QLabel* title_ = nullptr;  // until the history view is built
};

}  // namespace velquin
