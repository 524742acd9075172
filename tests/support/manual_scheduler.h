#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "base/work_scheduler.h"

namespace testsupport {

// Blocking jobs wait until the test runs them (or, when `automatic`, run on the next turn of the
// event loop); posted main-queue tasks wait for runPosted().
class ManualScheduler : public base::WorkScheduler {
public:
    bool automatic = false;

    void post(std::function<void()> task) override { posted_.push_back(std::move(task)); }

    void runBlocking(std::function<void()> job, std::function<void()> completion) override {
        if (automatic) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [job = std::move(job), completion = std::move(completion)]() {
                    job();
                    completion();
                },
                Qt::QueuedConnection);
            return;
        }
        jobs_.push_back({std::move(job), std::move(completion)});
    }

    int pendingJobs() const { return int(jobs_.size()); }
    int pendingPosts() const { return int(posted_.size()); }

    // Runs the oldest waiting job and then its completion (which resumes the waiting work).
    void runNextJob() {
        ASSERT_FALSE(jobs_.empty());
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        job.work();
        job.completion();
    }

    void runPosted() {
        while (!posted_.empty()) {
            auto task = std::move(posted_.front());
            posted_.pop_front();
            task();
        }
    }

private:
    struct Job {
        std::function<void()> work;
        std::function<void()> completion;
    };
    std::deque<Job> jobs_;
    std::deque<std::function<void()>> posted_;
};

}  // namespace testsupport
