#include "app/select-anywhere/selection_read_pipeline.h"

#include <QPointer>

#include <algorithm>

#include "app/select-anywhere/direct_selection_controller.h"
#include "base/errors.h"
#include "base/text.h"
#include "core/direct_selection_rules.h"
#include "core/selection_read_rule.h"
#include "platform/selection_clipboard_reader.h"

namespace velquin {

using tamsel::CapturedSelection;
using tamsel::DirectSelectionFailure;
using tamsel::SelectionInteraction;
using FailureCase = DirectSelectionFailure::Case;
using Rule = tamsel::SelectionReadRule;

namespace {

std::optional<halvern::SelectionReadFailure> readFailureOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const halvern::SelectionReadFailure& failure) {
        return failure;
    } catch (...) {
        return std::nullopt;
    }
}

// Whether the source is the application in front (or, with none, the focused one). Blocking work.
bool sourceIsInFront(SelectionDesktop& desktop, qint32 processIdentifier) {
    std::optional<qint32> front = desktop.frontmostProcess();
    if (!front) front = desktop.focusedApplicationProcess();
    return front && *front == processIdentifier;
}

}  // namespace

struct SelectionReadPipeline::Gathered {
    std::optional<halvern::SelectionReadResult> result;
    std::exception_ptr error;
    Rule::Program program = Rule::Program::ordinary;
    bool onAnotherMachine = false;  // or behind a relay of the display
    halvern::PrimarySelection primary;  // owned only where it holds the source's selection
    bool copyKeyReachable = false;
    bool inFront = false;
};

SelectionReadPipeline::SelectionReadPipeline(DirectSelectionController& controller) : c_(controller) {}

void SelectionReadPipeline::cancel() {
    const std::shared_ptr<Job> job = std::exchange(pending_, nullptr);
    if (!job) return;
    if (job->timer) c_.services_.scheduler->cancel(*job->timer);
    job->cancellation.cancel();
}

bool SelectionReadPipeline::isCurrent(const Job& job) const {
    return !job.cancellation.isCancelled() && c_.interaction_.generation == job.generation;
}

void SelectionReadPipeline::schedule(const SourceApplication& application, QPointF point, bool manual, bool localOnly,
                                     std::chrono::steady_clock::time_point released) {
    cancel();
    auto job = std::make_shared<Job>();
    job->application = application;
    job->name = application.name.isEmpty() ? QStringLiteral("来源应用") : application.name;
    job->point = point;
    job->manual = manual;
    job->localOnly = localOnly;
    job->generation = c_.interaction_.beginRead(application.processIdentifier, manual);
    emit c_.interactionChanged();
    c_.recordSource(application);
    c_.diagnostics_.lastReadRoute = c_.interaction_.readStatus;
    c_.setActivityStatus(QStringLiteral("正在读取选区：") + job->name);
    pending_ = job;

    QPointer<DirectSelectionController> guard(&c_);
    SelectionReadPipeline* pipeline = this;  // lives as long as the controller
    const auto run = [guard, pipeline, job] {
        if (guard) pipeline->start(job);
    };
    // A gesture's selection settles before it is read, counted from the release's arrival (the event
    // may have waited for the main thread since); a read asked for from the menu starts at once.
    SelectionScheduler& scheduler = *c_.services_.scheduler;
    if (manual) {
        scheduler.post(run);
        return;
    }
    // What the read looks up before it reads the selection is looked up during the wait.
    c_.services_.readers->prepareAccessibility(application.processIdentifier, point, job->cancellation.token());
    std::chrono::milliseconds wait = DirectSelectionController::settleDelay;
    if (released != std::chrono::steady_clock::time_point{})
        wait -= std::chrono::duration_cast<std::chrono::milliseconds>(scheduler.currentTime() - released);
    job->timer =
        scheduler.after(std::clamp(wait, std::chrono::milliseconds(0), DirectSelectionController::settleDelay), run);
}

void SelectionReadPipeline::checkFront(const std::shared_ptr<Job>& job, std::function<void(bool)> then) {
    // An active X11 window is told by the display server at once; anything else may take a bus call.
    if (const std::optional<qint32> active = c_.services_.desktop->activeWindowProcess()) {
        then(*active == job->application.processIdentifier);
        return;
    }
    auto inFront = std::make_shared<bool>(false);
    auto desktop = c_.services_.desktop;
    const qint32 pid = job->application.processIdentifier;
    QPointer<DirectSelectionController> guard(&c_);
    c_.services_.scheduler->runBlocking([inFront, desktop, pid] { *inFront = sourceIsInFront(*desktop, pid); },
                                        [guard, inFront, then = std::move(then)] {
                                            if (guard) then(*inFront);
                                        });
}

void SelectionReadPipeline::start(const std::shared_ptr<Job>& job) {
    job->timer.reset();
    if (!isCurrent(*job)) return;
    if (c_.blockReason(job->application)) {
        c_.dismiss(DirectSelectionController::lostSourceReason);
        return;
    }
    if (job->manual) {
        read(job);
        return;
    }
    checkFront(job, [this, job](bool inFront) {
        if (!isCurrent(*job)) return;
        if (!inFront) {
            c_.dismiss(DirectSelectionController::lostSourceReason);
            return;
        }
        read(job);
    });
}

void SelectionReadPipeline::read(const std::shared_ptr<Job>& job) {
    if (!c_.interaction_.markReading(job->generation)) return;
    c_.diagnostics_.lastReadRoute = c_.interaction_.readStatus;

    auto gathered = std::make_shared<Gathered>();
    auto readers = c_.services_.readers;
    auto desktop = c_.services_.desktop;
    const qint32 pid = job->application.processIdentifier;
    const QPointF pointer = job->point;
    const bool gesture = !job->manual;
    const base::CancellationToken token = job->cancellation.token();
    QPointer<DirectSelectionController> guard(&c_);
    c_.services_.scheduler->runBlocking(
        [gathered, readers, desktop, pid, pointer, gesture, token] {
            Gathered& found = *gathered;
            try {
                found.result = readers->readAccessibility(pid, pointer, token);
            } catch (...) {
                found.error = std::current_exception();
            }
            // What the read rule weighs, asked after the accessibility read: PRIMARY's owner may have
            // changed during it.
            const std::optional<halvern::SelectionReadFailure> failure =
                found.result ? std::nullopt : readFailureOf(found.error);
            if (!token.isCancelled() && (found.result || failure)) {
                found.program = readers->program(pid);
                found.onAnotherMachine = readers->onAnotherMachine(pid);
                // A gesture's selection in a program the bus shows nothing of comes only through PRIMARY,
                // which the program may take late on a busy machine.
                const halvern::PrimaryOwner owner =
                    gesture && failure && !halvern::SelectedTextReader::showsContent(*failure)
                        ? readers->primaryOwnerOnceTaken(pid, DirectSelectionController::lateSelectionLimit, token)
                        : readers->primaryOwner(pid);
                if (halvern::SelectionClipboardReader::holdsSelectionOf(
                        owner, pid, [&readers] { return readers->nativePrimarySource(); }))
                    found.primary = {true, readers->primaryText(owner)};
                found.copyKeyReachable = readers->copyKeyReachable(pid);
            }
            if (!token.isCancelled()) found.inFront = sourceIsInFront(*desktop, pid);
        },
        [guard, this, job, gathered] {
            if (guard) accessibilityReadEnded(job, *gathered);
        });
}

void SelectionReadPipeline::accessibilityReadEnded(const std::shared_ptr<Job>& job, Gathered& gathered) {
    const std::optional<halvern::SelectionReadResult>& result = gathered.result;
    std::exception_ptr error = gathered.error;
    const std::optional<halvern::SelectionReadFailure> failure = result ? std::nullopt : readFailureOf(error);
    if (failure) c_.diagnostics_.lastAXReadDiagnostics = failure->diagnostics();
    if ((!result && !failure) || !isCurrent(*job)) {
        readFailed(job, error, gathered.inFront);
        return;
    }
    // What may be taken, and how, is the read rule's to say.
    Rule::Evidence evidence;
    evidence.program = gathered.program;
    evidence.sourceRemote = gathered.onAnotherMachine;
    if (result)
        evidence.shown = result->text;
    else
        evidence.readFailure = failure->reason();
    evidence.shownBesidePasswordField = result && result->besidePasswordField;
    evidence.passwordFieldEmpty = failure && failure->nothingSelected();
    evidence.sourceOnBus = result || halvern::SelectedTextReader::showsContent(*failure);
    evidence.primaryOwned = gathered.primary.owned;
    evidence.primary = gathered.primary.text;
    evidence.copyEnabled = c_.compatibilityCopyEnabled_;
    evidence.copyKeyReachable = gathered.copyKeyReachable;
    const Rule::Verdict verdict = Rule::decide(Rule::Asker::gesture, evidence);
    // Where the bus showed a selection other than the one PRIMARY holds, it did not show this one.
    const QString diagnostics = failure ? failure->diagnostics() : result->route;
    if (!error) error = std::make_exception_ptr(halvern::SelectionReadFailure(FailureCase::unsupported, diagnostics));
    std::exception_ptr refusal = error;
    if (verdict.refusal != Rule::Refusal::readFailure) {
        try {
            halvern::SelectionClipboardReader::throwRefusal(verdict.refusal);
        } catch (...) {
            refusal = std::current_exception();
        }
    }
    if (!verdict.routes.isEmpty() && verdict.routes.first() == Rule::Route::shown) {
        readSucceeded(job, *result, gathered.inFront);
        return;
    }
    // The other routes read what the source holds now: only while it is still in front and allowed.
    if (verdict.routes.isEmpty() || !gathered.inFront || c_.blockReason(job->application)) {
        readFailed(job, verdict.routes.isEmpty() ? refusal : error, gathered.inFront);
        return;
    }
    if (verdict.routes.first() == Rule::Route::primary) {
        c_.diagnostics_.lastReadRoute = diagnostics + QStringLiteral(" · PRIMARY");
        try {
            const QString text = tamsel::DirectSelectionRules::validated(*evidence.primary);
            readSucceeded(job, {text, halvern::SelectionClipboardReader::primaryRoute, 1}, gathered.inFront);
            return;
        } catch (const DirectSelectionFailure& primaryFailure) {
            // An empty PRIMARY says less than the accessibility read did.
            if (primaryFailure.failureCase() != FailureCase::noText || verdict.routes.size() == 1) {
                readFailed(job,
                           primaryFailure.failureCase() == FailureCase::noText ? refusal : std::current_exception(),
                           gathered.inFront);
                return;
            }
        }
    }
    // The program's own copy, last.
    c_.diagnostics_.lastReadRoute = diagnostics + QStringLiteral(" · Compatibility Copy");
    QPointer<DirectSelectionController> guard(&c_);
    c_.services_.readers->copySelection(
        job->application.processIdentifier, evidence.program, job->cancellation.token(),
        [guard, this, job](std::optional<halvern::SelectionReadResult> copied, std::exception_ptr copyError) {
            if (!guard) return;
            checkFront(job, [this, job, copied = std::move(copied), copyError](bool inFront) {
                if (copied)
                    readSucceeded(job, *copied, inFront);
                else
                    readFailed(job, copyError, inFront);
            });
        });
}

void SelectionReadPipeline::readSucceeded(const std::shared_ptr<Job>& job, const halvern::SelectionReadResult& result,
                                          bool inFront) {
    if (!mayReport(*job, inFront)) return;
    const qint32 pid = job->application.processIdentifier;
    if (result.route.startsWith(QStringLiteral("AX"))) c_.diagnostics_.lastAXReadDiagnostics = result.route;
    const CapturedSelection selection{result.text, job->name, pid, job->localOnly};
    if (!c_.interaction_.finishRead(job->generation, selection, !job->manual)) return;
    emit c_.interactionChanged();
    c_.diagnostics_.lastReadRoute =
        result.route + QStringLiteral("（第 ") + QString::number(result.attempt) + QStringLiteral(" 次读取）");
    c_.selectionPoint_ = job->point;
    if (job->manual) {
        c_.presentCaptured(selection);
        return;
    }
    c_.setActivityStatus(job->name + QStringLiteral("：已读取 ") +
                         QString::number(base::text::graphemeCount(result.text)) +
                         QStringLiteral(" 个字符。点击选区旁 AI 图标打开；尚未调用模型。"));
    c_.showSelectionIcon(job->point);
}

void SelectionReadPipeline::readFailed(const std::shared_ptr<Job>& job, std::exception_ptr error, bool inFront) {
    if (mayReport(*job, inFront)) completeFailedRead(*job, error);
}

bool SelectionReadPipeline::mayReport(const Job& job, bool inFront) {
    if (!isCurrent(job)) return false;
    if (c_.services_.desktop->isTerminated(job.application.processIdentifier) || (!job.manual && !inFront)) {
        c_.dismiss(DirectSelectionController::lostSourceReason);
        return false;
    }
    pending_.reset();
    return true;
}

void SelectionReadPipeline::completeFailedRead(const Job& job, std::exception_ptr error) {
    const QString message = base::messageOf(error);
    if (!c_.interaction_.failRead(job.generation, message, false)) return;
    emit c_.interactionChanged();
    c_.diagnostics_.lastReadRoute = c_.interaction_.readStatus;
    if (const auto failure = readFailureOf(error))
        c_.diagnostics_.lastReadRoute += QStringLiteral(" · ") + failure->diagnostics();
    c_.setActivityStatus(job.name + QStringLiteral("：") + message);
    if (!job.manual) return;
    c_.selectionPoint_ = job.point;
    c_.interaction_.present(CapturedSelection{QString(), job.name, std::nullopt, false},
                            SelectionInteraction::Origin::manual, false);
    emit c_.interactionChanged();
    c_.services_.panels->showError(message, job.name);
    c_.show(job.point, false);
}

}  // namespace velquin
