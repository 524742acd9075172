#pragma once

#include <QPointF>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "app/select-anywhere/selection_services.h"
#include "base/cancellation.h"
#include "platform/selected_text_reader.h"

namespace velquin {

class DirectSelectionController;

// The read of one selection for the selection controller, from the gesture or the menu to a captured
// selection or a reported failure: the settle wait, the checks that the source is still allowed and in
// front, the accessibility read, then PRIMARY or the program's own copy where the read rule allows them.
// Whatever waits on another program (the accessibility bus, PRIMARY's owner, the shell, /proc) runs as
// the scheduler's blocking work; the rule's decision and every change of the controller's state run on
// the main thread, each after checking that the read is still the current one (its generation, not
// cancelled). At most one read is scheduled; scheduling another cancels it.
class SelectionReadPipeline {
public:
    // One scheduled read: what it reads, and the handle that cancels its wait and its work.
    struct Job {
        qint64 generation = 0;
        SourceApplication application;
        QString name;
        QPointF point;
        bool manual = false;
        bool localOnly = false;
        base::CancellationSource cancellation;
        std::optional<SelectionScheduler::TimerId> timer;
    };

    explicit SelectionReadPipeline(DirectSelectionController& controller);

    // Starts a read of the application's selection (DirectSelectionController::scheduleRead).
    void schedule(const SourceApplication& application, QPointF point, bool manual, bool localOnly,
                  std::chrono::steady_clock::time_point released);
    // Cancels the scheduled read's wait and work; its results are dropped.
    void cancel();
    bool isPending() const { return bool(pending_); }
    // Reports a failed read: the status, the diagnostics, and for a manual read the answer panel.
    void completeFailedRead(const Job& job, std::exception_ptr error);

private:
    // What the blocking work found out about the source after the accessibility read.
    struct Gathered;

    void start(const std::shared_ptr<Job>& job);
    void read(const std::shared_ptr<Job>& job);
    void accessibilityReadEnded(const std::shared_ptr<Job>& job, Gathered& gathered);
    void readSucceeded(const std::shared_ptr<Job>& job, const halvern::SelectionReadResult& result, bool inFront);
    void readFailed(const std::shared_ptr<Job>& job, std::exception_ptr error, bool inFront);
    // Tells whether the source is still in front, then calls `then` with the answer: at once where an
    // X11 window is active, otherwise after asking as blocking work.
    void checkFront(const std::shared_ptr<Job>& job, std::function<void(bool)> then);
    bool isCurrent(const Job& job) const;
    // Whether an ended read may report: still the current one, its source running and, for a gesture,
    // in front. A lost source dismisses what was pending; a read that may report is no longer pending.
    bool mayReport(const Job& job, bool inFront);

    DirectSelectionController& c_;
    std::shared_ptr<Job> pending_;
};

}  // namespace velquin
