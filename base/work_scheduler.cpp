#include "base/work_scheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

namespace base {

WorkScheduler::~WorkScheduler() = default;

QtWorkScheduler::QtWorkScheduler(QThreadPool* pool) : pool_(pool) {}

void QtWorkScheduler::post(std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void QtWorkScheduler::runBlocking(std::function<void()> job, std::function<void()> completion) {
    QThreadPool* pool = pool_ ? pool_ : QThreadPool::globalInstance();
    pool->start([job = std::move(job), completion = std::move(completion)]() mutable {
        job();
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(completion), Qt::QueuedConnection);
    });
}

WorkScheduler& QtWorkScheduler::shared() {
    static QtWorkScheduler scheduler;
    return scheduler;
}

}  // namespace base
