#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <functional>
#include <memory>

#include "app/account/account_service_client.h"
#include "base/task.h"
#include "tests/support/hosted_stub.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Test doubles of the account services, shared by the account and tutor workspace tests.
namespace accounttest {

inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

inline void run(QCoro::Task<void> task) { base::waitForTask(std::move(task)); }

inline QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline testsupport::ScriptedReply account(const QString& id, QJsonObject more = {}) {
    more.insert(QStringLiteral("id"), id);
    return testsupport::ScriptedReply::json(200, QJsonDocument(more).toJson(QJsonDocument::Compact));
}

// The hosted stub with every route and the client options that reach it.
struct AccountHarness {
    AccountHarness() {
        stub.expectHostedRoutes();
        clientOptions.endpoints = velquin::AccountServiceEndpoints::single(stub.baseUrl().toString());
        clientOptions.accountTimeout = std::chrono::seconds(10);
        clientOptions.verificationTimeout = std::chrono::seconds(10);
    }

    testsupport::HostedStub stub;
    velquin::AccountServiceClient::Options clientOptions;
};

}  // namespace accounttest
