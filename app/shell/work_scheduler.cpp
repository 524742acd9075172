#include "app/shell/work_scheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

namespace velquin {

WorkScheduler::~WorkScheduler() = default;

void QtWorkScheduler::post(std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void QtWorkScheduler::runBlocking(std::function<void()> job, std::function<void()> completion) {
    QThreadPool::globalInstance()->start([job = std::move(job), completion = std::move(completion)]() mutable {
        job();
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(completion), Qt::QueuedConnection);
    });
}

}  // namespace velquin
