// The production selection readers and scheduler.
#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <future>

#include <QCoroTask>

#include "app/select-anywhere/selection_services.h"
#include "platform/program_identity.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/shell_pointer.h"
#include "platform/x11_windows.h"

namespace velquin {

SelectionDesktop::~SelectionDesktop() = default;
SelectionMonitors::~SelectionMonitors() = default;
SelectionStatusItem::~SelectionStatusItem() = default;
SelectionReaders::~SelectionReaders() = default;
SelectionPanels::~SelectionPanels() = default;
void SelectionPanels::attach(DirectSelectionController&) {}

namespace {

QCoro::Task<void> copyThenComplete(qint32 processIdentifier, tamsel::SelectionReadRule::Program program,
                                   base::CancellationToken cancellation, SelectionReaders::Completion completion) {
    std::optional<halvern::SelectionReadResult> result;
    std::exception_ptr error;
    try {
        // A named local: GCC 12 destroys temporaries of an awaited expression twice.
        auto copying = halvern::SelectionClipboardReader::copy(processIdentifier, cancellation, program);
        result = co_await std::move(copying);
    } catch (...) {
        error = std::current_exception();
    }
    completion(std::move(result), error);
}

class PlatformSelectionReaders : public SelectionReaders {
public:
    using Preparation = halvern::SelectedTextReader::Preparation;

    halvern::SelectionReadResult readAccessibility(qint32 processIdentifier, QPointF pointer,
                                                   const base::CancellationToken& cancellation) override {
        std::optional<Prepared> prepared;
        {
            QMutexLocker lock(&mutex_);
            prepared = std::exchange(prepared_, std::nullopt);
        }
        if (prepared && !prepared->cancellation.isCancelled() && prepared->processIdentifier == processIdentifier &&
            prepared->pointer == pointer)
            return halvern::SelectedTextReader::read(prepared->preparation.get(), cancellation);
        return halvern::SelectedTextReader::read(processIdentifier, pointer, cancellation);
    }
    void prepareAccessibility(qint32 processIdentifier, QPointF pointer,
                              const base::CancellationToken& cancellation) override {
        auto promise = std::make_shared<std::promise<Preparation>>();
        {
            QMutexLocker lock(&mutex_);
            prepared_ = Prepared{processIdentifier, pointer, cancellation, promise->get_future().share()};
        }
        // A pool of its own: a read waiting for its preparation never holds the thread it needs.
        preparing_.start([promise, processIdentifier, pointer, cancellation] {
            try {
                promise->set_value(halvern::SelectedTextReader::prepare(processIdentifier, pointer, cancellation));
            } catch (...) {
                promise->set_value(Preparation{processIdentifier, pointer});  // the read looks up everything
            }
        });
    }
    halvern::PrimaryOwner primaryOwner(qint32 processIdentifier) override {
        return halvern::SelectionClipboardReader::primaryOwner(processIdentifier);
    }
    halvern::PrimaryOwner primaryOwnerOnceTaken(qint32 processIdentifier, std::chrono::milliseconds limit,
                                                const base::CancellationToken& cancellation) override {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        halvern::PrimaryOwner owner = primaryOwner(processIdentifier);
        while (owner.kind == halvern::PrimaryOwner::Kind::none && !cancellation.isCancelled() &&
               std::chrono::steady_clock::now() < deadline) {
            QThread::msleep(20);
            owner = primaryOwner(processIdentifier);
        }
        return owner;
    }
    std::optional<qint32> nativePrimarySource() override {
        return halvern::ShellPointer::shared().primarySource(halvern::SelectionClipboardReader::primarySourceTimeout);
    }
    std::optional<QString> primaryText(const halvern::PrimaryOwner& owner) override {
        return halvern::SelectionClipboardReader::primaryText(owner);
    }
    tamsel::SelectionReadRule::Program program(qint32 processIdentifier) override {
        return halvern::ProgramIdentity::of(processIdentifier);
    }
    bool onAnotherMachine(qint32 processIdentifier) override {
        return halvern::x11::shownFromElsewhere(processIdentifier);
    }
    bool copyKeyReachable(qint32 processIdentifier) override {
        return halvern::x11::windowOfProcess(processIdentifier).has_value();
    }
    void copySelection(qint32 processIdentifier, tamsel::SelectionReadRule::Program program,
                       base::CancellationToken cancellation, Completion completion) override {
        // Runs on by itself; the completion reports its end.
        QCoro::Task<void> running =
            copyThenComplete(processIdentifier, program, std::move(cancellation), std::move(completion));
        (void)running;
    }

private:
    struct Prepared {
        qint32 processIdentifier = 0;
        QPointF pointer;
        base::CancellationToken cancellation;
        std::shared_future<Preparation> preparation;
    };
    QMutex mutex_;
    std::optional<Prepared> prepared_;  // the latest gesture's
    QThreadPool preparing_;
};

class QtSelectionScheduler : public SelectionScheduler {
public:
    ~QtSelectionScheduler() override { qDeleteAll(timers_); }

    void post(std::function<void()> task) override { work_.post(std::move(task)); }
    void runBlocking(std::function<void()> job, std::function<void()> completion) override {
        work_.runBlocking(std::move(job), std::move(completion));
    }

    TimerId after(std::chrono::milliseconds delay, std::function<void()> task) override {
        return start(delay, true, std::move(task));
    }
    TimerId every(std::chrono::milliseconds interval, std::function<void()> task) override {
        return start(interval, false, std::move(task));
    }
    void cancel(TimerId timer) override {
        if (QTimer* running = timers_.take(timer)) running->deleteLater();
    }

private:
    TimerId start(std::chrono::milliseconds interval, bool once, std::function<void()> task) {
        const TimerId id = ++lastId_;
        auto* timer = new QTimer;
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(interval);
        timer->setSingleShot(once);
        QObject::connect(timer, &QTimer::timeout, timer, [this, id, once, task = std::move(task)] {
            if (once) cancel(id);
            task();
        });
        timers_.insert(id, timer);
        timer->start();
        return id;
    }

    base::QtWorkScheduler work_;
    QHash<TimerId, QTimer*> timers_;
    TimerId lastId_ = 0;
};

}  // namespace

std::shared_ptr<SelectionReaders> makePlatformSelectionReaders() {
    return std::make_shared<PlatformSelectionReaders>();
}
std::shared_ptr<SelectionScheduler> makeQtSelectionScheduler() { return std::make_shared<QtSelectionScheduler>(); }

}  // namespace velquin
