#pragma once

// Test doubles of the tutor screen's outside world: a tutor whose replies the test releases one
// at a time, a session token the test changes, and replies in the tutor's JSON form.

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <QCoroSignal>
#include <QCoroTask>

#include <exception>
#include <memory>
#include <optional>

#include "app/shell/app_store_services.h"
#include "tutor-engine/merid_tutor_request.h"

namespace workspacetest {

// One request waiting for the test's answer.
class PendingReply : public QObject {
    Q_OBJECT
public:
    bool settledAlready = false;
    QString text;
    std::exception_ptr error;

    void settle() {
        settledAlready = true;
        emit settled();
    }

Q_SIGNALS:
    void settled();
};

// Keeps every request; each waits until the test releases (or fails) the oldest unanswered one.
// Cancellation is ignored, as a transport may ignore it: a stopped round still gets its reply late.
class ManualTutor : public meridcore::MeridTutorTransport {
public:
    struct Call {
        meridcore::MeridTutorRequest request;
        base::CancellationToken token;
        std::shared_ptr<PendingReply> pending;
    };
    QList<Call> calls;

    QCoro::Task<QString> reply(meridcore::MeridTutorRequest request, base::CancellationToken token) override {
        auto pending = std::make_shared<PendingReply>();
        calls.append({request, token, pending});
        if (!pending->settledAlready) {
            auto settled = qCoro(pending.get(), &PendingReply::settled);
            co_await settled;
        }
        if (pending->error) std::rethrow_exception(pending->error);
        co_return pending->text;
    }

    int unanswered() const {
        int count = 0;
        for (const Call& call : calls) count += call.pending->settledAlready ? 0 : 1;
        return count;
    }
    void release(const QString& text) {
        PendingReply& pending = next();
        pending.text = text;
        pending.settle();
    }
    void fail(std::exception_ptr error) {
        PendingReply& pending = next();
        pending.error = std::move(error);
        pending.settle();
    }

private:
    PendingReply& next() {
        for (const Call& call : calls)
            if (!call.pending->settledAlready) return *call.pending;
        throw std::logic_error("no request waits for a reply");
    }
};

// Read on a worker thread by the screen.
class ManualToken : public velquin::SessionTokenSource {
public:
    void set(const std::optional<QString>& token) {
        QMutexLocker lock(&mutex_);
        token_ = token;
    }
    std::optional<QString> load() override {
        QMutexLocker lock(&mutex_);
        return token_;
    }

private:
    QMutex mutex_;
    std::optional<QString> token_ = QStringLiteral("token-A");
};

inline QString envelope(const QString& kind, const QString& text, const QString& extra = QString()) {
    return QStringLiteral("{\"schema_version\":1,\"kind\":\"") + kind + QStringLiteral("\",\"text\":\"") + text +
           QStringLiteral("\"") + extra + u'}';
}
inline QString lesson(const QString& text) { return envelope(QStringLiteral("lesson"), text); }
inline QString question(const QString& text) {
    return envelope(QStringLiteral("question"), text, QStringLiteral(",\"question_kind\":\"explanation\""));
}
inline QString grading(const QString& verdict) {
    return envelope(QStringLiteral("feedback"), QStringLiteral("批改完成。"),
                    QStringLiteral(",\"evaluation\":\"") + verdict + u'"');
}

}  // namespace workspacetest
