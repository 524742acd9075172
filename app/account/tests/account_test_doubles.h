#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "app/account/account_service_client.h"
#include "app/account/account_session.h"
#include "app/account/google_desktop_oauth.h"
#include "app/account/history_store.h"
#include "app/account/session_keyring.h"
#include "app/account/study_flow_reset.h"
#include "base/defaults_store.h"
#include "base/task.h"
#include "platform/keychain_store.h"
#include "tests/support/hosted_stub.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Test doubles of the account session's services, shared by the account and tutor workspace tests.
namespace accounttest {

// A keyring in memory that can be told to refuse. Thread-safe: the session calls it from the
// keyring thread.
class FakeKeyring : public velquin::SessionKeyring {
public:
    std::optional<QString> load() override {
        std::lock_guard lock(mutex_);
        if (failLoad) throw halvern::KeychainError(2, QStringLiteral("locked"));
        return token_;
    }
    void save(const QString& token) override {
        std::lock_guard lock(mutex_);
        ++saves;
        if (failSave) throw halvern::KeychainError(2, QStringLiteral("locked"));
        token_ = token;
    }
    void remove() override {
        std::lock_guard lock(mutex_);
        ++removals;
        if (failRemove) throw halvern::KeychainError(2, QStringLiteral("locked"));
        token_.reset();
    }
    std::optional<QString> stored() {
        std::lock_guard lock(mutex_);
        return token_;
    }
    void set(const std::optional<QString>& token) {
        std::lock_guard lock(mutex_);
        token_ = token;
    }

    std::atomic<bool> failLoad{false};
    std::atomic<bool> failSave{false};
    std::atomic<bool> failRemove{false};
    std::atomic<int> saves{0};
    std::atomic<int> removals{0};

private:
    std::mutex mutex_;
    std::optional<QString> token_;
};

// Records what the session asked of the main window's study flow.
class RecordingStudyFlow : public velquin::StudyFlowReset {
public:
    void dropTutorHandoff() override { calls.append(QStringLiteral("dropTutorHandoff")); }
    void reset() override { calls.append(QStringLiteral("reset")); }
    QStringList calls;
};

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

// The interface language the harness's session words its messages in.
enum class Language { chinese, english, french };

// An account session over the hosted stub, a fake keyring, a temporary defaults file and a history
// in a temporary data folder. The session is made on first use.
struct AccountHarness {
    explicit AccountHarness(const std::optional<QString>& storedToken = std::nullopt)
        : defaults(dir.filePath(QStringLiteral("defaults.json"))) {
        stub.expectHostedRoutes();
        keyring->set(storedToken);
        history = std::make_unique<velquin::HistoryStore>(
            velquin::HistoryStore::Options{dataFolder(), [k = keyring] { return k->stored(); }});
        clientOptions.endpoints = velquin::AccountServiceEndpoints::single(stub.baseUrl().toString());
        clientOptions.accountTimeout = std::chrono::seconds(10);
        clientOptions.verificationTimeout = std::chrono::seconds(10);
    }

    QString dataFolder() const { return dir.filePath(QStringLiteral("data")); }

    velquin::AccountSession& session() {
        if (!session_) {
            velquin::AccountSessionServices services;
            services.defaults = &defaults;
            services.history = history.get();
            services.keyring = keyring;
            services.studyFlow = studyFlow;
            services.client = std::make_shared<velquin::AccountServiceClient>(clientOptions);
            services.google = google;
            services.wording = [this](const QString& chinese, const QString& english, const QString& french) {
                return language == Language::english ? english : language == Language::french ? french : chinese;
            };
            services.dataFolder = dataFolder();
            session_ = std::make_unique<velquin::AccountSession>(services);
            waitUntil([this] { return session_->started(); });
        }
        return *session_;
    }

    // A signed-in session confirmed as `id` by one refresh.
    velquin::AccountSession& confirmed(const QString& id, const QJsonObject& more = {}) {
        keyring->set(QStringLiteral("token-1"));
        stub.enqueue(testsupport::HostedStub::accountPath, account(id, more));
        run(session().refresh());
        return session();
    }

    QTemporaryDir dir;
    base::DefaultsStore defaults;
    testsupport::HostedStub stub;
    std::shared_ptr<FakeKeyring> keyring = std::make_shared<FakeKeyring>();
    std::shared_ptr<RecordingStudyFlow> studyFlow = std::make_shared<RecordingStudyFlow>();
    std::unique_ptr<velquin::HistoryStore> history;
    velquin::AccountServiceClient::Options clientOptions;
    // The Google sign-in; set it before the session is made.
    std::shared_ptr<velquin::GoogleDesktopOAuth> google;
    // May change while the session lives.
    Language language = Language::chinese;

private:
    std::unique_ptr<velquin::AccountSession> session_;
};

}  // namespace accounttest
