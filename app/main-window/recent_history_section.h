#pragma once

#include <QAbstractButton>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "app/account/learning_record.h"

class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace velquin {

class AppStore;
class HistoryStore;
class WorkspaceRouter;

// The part of a recent-history row that reopens its record: the source on one line and, below
// it, how long ago the record was made. Named "orvel.history.reopen." and the record's upper-case
// UUID.
class RecentRecordButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit RecentRecordButton(const LearningRecord& record, QWidget* parent = nullptr);

    const QString& source() const { return source_; }
    const QString& timeText() const { return time_; }
    void setTimeText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString source_;  // on one line
    QString time_;
};

// The newest three learning records, each to reopen on the home page or to mark as a note, with
// "查看全部" to the history page; a short text while there are none. The times stay current.
class RecentHistorySection : public QWidget {
    Q_OBJECT
public:
    static constexpr int shownRecords = 3;

    RecentHistorySection(AppStore& store, HistoryStore& history, WorkspaceRouter& router, QWidget* parent = nullptr);

    QPushButton* showAllButton() const { return showAll_; }
    QLabel* emptyText() const { return empty_; }
    // The rows' reopen buttons and note buttons, newest first.
    const QList<RecentRecordButton*>& reopenButtons() const { return reopenButtons_; }
    const QList<QToolButton*>& noteButtons() const { return noteButtons_; }

    void retranslate();
    // Where the ages are measured from: the system's time, or a clock the caller holds still.
    void setClock(std::function<base::Date()> now);

private:
    void showRecords();
    void showTimes();
    void restyle();

    AppStore& store_;
    HistoryStore& history_;
    WorkspaceRouter& router_;
    QLabel* title_ = nullptr;
    QPushButton* showAll_ = nullptr;
    QLabel* empty_ = nullptr;
    QVBoxLayout* rows_ = nullptr;
    QList<QWidget*> rowWidgets_;
    QList<QLabel*> stateLabels_;
    QList<RecentRecordButton*> reopenButtons_;
    QList<QToolButton*> noteButtons_;
    QList<LearningRecord> shown_;
    std::function<base::Date()> now_ = &base::Date::now;
    QTimer clock_;  // fires when the first of the times shown changes
};

}  // namespace velquin
