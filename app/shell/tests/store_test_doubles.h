#pragma once

// Test doubles of the store's and the router's outside world: a scheduler turned by hand, a clock
// set by the test, an in-memory clipboard, a token, an importer that keeps count of its staged
// copies, a screen capture the test finishes, and a window system of plain records.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QList>
#include <QMetaObject>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <coroutine>
#include <deque>
#include <exception>
#include <functional>
#include <optional>

#include "app/shell/app_store_services.h"
#include "app/shell/file_chooser.h"
#include "app/shell/window_system.h"
#include "app/account/history_store.h"
#include "app/shell/app_store.h"
#include "base/defaults_store.h"
#include "base/errors.h"
#include "core/consent.h"
#include "core/responses_client.h"
#include "tests/support/hosted_stub.h"
#include "tests/support/manual_scheduler.h"
#include <memory>

namespace storetest {

using namespace velquin;

using testsupport::ManualScheduler;

class FakeClock : public Clock {
public:
    double time = 1000.0;
    double now() override { return time; }
};

class FakeClipboard : public Clipboard {
public:
    QList<QUrl> files;
    std::optional<QString> text;
    std::optional<QByteArray> image;
    int replacements = 0;

    QList<QUrl> fileURLs() override { return files; }
    std::optional<QString> string() override { return text; }
    std::optional<QByteArray> imageData() override { return image; }
    void replaceWithString(const QString& value) override {
        ++replacements;
        files.clear();
        image.reset();
        text = value;
    }
};

class FakeTokenSource : public SessionTokenSource {
public:
    std::optional<QString> token = QStringLiteral("session-token-1");
    std::optional<QString> failure;
    int loads = 0;

    std::optional<QString> load() override {
        ++loads;
        if (failure) throw base::SystemError(*failure);
        return token;
    }
};

// Staged copies are names the importer hands out and counts until they are removed.
class FakeImporter : public DocumentImporter {
public:
    std::optional<QString> stageFailure;
    int pageCount = 1;
    std::optional<QString> pageCountFailure;
    ImportedText extracted{QStringLiteral("extracted text"), QStringLiteral("extracted note")};
    std::optional<QString> extractFailure;
    ImportedText recognized{QStringLiteral("recognized text"), QStringLiteral("recognized note")};

    QList<QUrl> live;       // staged copies not yet removed
    QList<QUrl> removed;
    QList<QUrl> extractedFiles;
    QList<std::optional<PageRange>> extractedRanges;
    QList<QByteArray> recognizedImages;
    int staged = 0;

    QUrl stageSelectedFile(const QUrl& file) override {
        if (stageFailure) throw base::SystemError(*stageFailure);
        const QUrl copy = QUrl::fromLocalFile(QStringLiteral("/tmp/OrvelReaderImport-fake%1/").arg(++staged) +
                                              file.fileName());
        live.append(copy);
        return copy;
    }
    void removeStagedFile(const QUrl& stagedFile) override {
        live.removeAll(stagedFile);
        removed.append(stagedFile);
    }
    int pdfPageCount(const QUrl&) override {
        if (pageCountFailure) throw base::SystemError(*pageCountFailure);
        return pageCount;
    }
    ImportedText extractFile(const QUrl& file, std::optional<PageRange> pages,
                             const base::CancellationToken& cancellation) override {
        extractedFiles.append(file);
        extractedRanges.append(pages);
        cancellation.throwIfCancelled();
        if (extractFailure) throw base::SystemError(*extractFailure);
        return extracted;
    }
    ImportedText recognizeImage(const QByteArray& data, const base::CancellationToken&) override {
        recognizedImages.append(data);
        return recognized;
    }
};

// A capture that waits until the test succeeds or fails it; cancelling ends it at once with a
// cancellation error, as ending the capture program does.
class FakeCapture : public ScreenCapture {
public:
    int calls = 0;
    bool cancelled = false;

    QCoro::Task<ImportedText> recognizeSelectedRegion(base::CancellationToken cancellation) override {
        ++calls;
        result_.reset();
        error_ = nullptr;
        const int callbackId = cancellation.onCancel([this]() {
            cancelled = true;
            fail(std::make_exception_ptr(base::CancellationError()));
        });
        co_await Gate{this};
        cancellation.removeCallback(callbackId);
        if (error_) std::rethrow_exception(error_);
        co_return *result_;
    }

    bool isWaiting() const { return bool(waiting_); }
    void succeed(const ImportedText& text) {
        result_ = text;
        resume();
    }
    void fail(std::exception_ptr error) {
        error_ = std::move(error);
        resume();
    }

private:
    struct Gate {
        FakeCapture* owner;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { owner->waiting_ = handle; }
        void await_resume() const noexcept {}
    };
    void resume() {
        if (!waiting_) return;
        auto handle = std::exchange(waiting_, {});
        handle.resume();
    }

    std::coroutine_handle<> waiting_;
    std::optional<ImportedText> result_;
    std::exception_ptr error_;
};

class FakeWindowSystem : public WindowSystem {
public:
    QList<Window> list;
    std::optional<QRectF> screen = QRectF(0, 0, 1920, 1080);
    bool hidden = false;
    bool active = true;
    // What was done, in order: "hide", "show", "activate", "openWorkspace", "raise <id>",
    // "hideWindow <id>", "frame <id>", "size <id> <w>x<h>".
    QStringList calls;

    Window& add(WindowId id, const QString& identifier, QRectF frame = QRectF(100, 100, 1000, 700)) {
        Window window;
        window.id = id;
        window.identifier = identifier;
        window.isVisible = true;
        window.frame = frame;
        window.minimumContentSize = QSizeF(820, 650);
        list.append(window);
        return list.last();
    }
    Window* find(WindowId id) {
        for (auto& window : list) {
            if (window.id == id) return &window;
        }
        return nullptr;
    }

    QList<Window> windows() override { return list; }
    std::optional<QRectF> visibleScreenFrame(WindowId) override { return screen; }
    void setFrame(WindowId id, const QRectF& frame) override {
        calls.append(QStringLiteral("frame %1").arg(id));
        if (auto* window = find(id)) window->frame = frame;
    }
    void setContentSize(WindowId id, const QSizeF& size) override {
        calls.append(QStringLiteral("size %1 %2x%3").arg(id).arg(size.width()).arg(size.height()));
    }
    void setIdentifier(WindowId id, const QString& identifier) override {
        if (auto* window = find(id)) window->identifier = identifier;
    }
    void raiseWindow(WindowId id) override { calls.append(QStringLiteral("raise %1").arg(id)); }
    void hideWindow(WindowId id) override {
        calls.append(QStringLiteral("hideWindow %1").arg(id));
        if (auto* window = find(id)) window->isVisible = false;
    }
    bool isApplicationHidden() override { return hidden; }
    bool isApplicationActive() override { return active; }
    void hideApplication() override {
        hidden = true;
        calls.append(QStringLiteral("hide"));
    }
    void showApplication() override {
        hidden = false;
        calls.append(QStringLiteral("show"));
    }
    void activateApplication() override {
        active = true;
        calls.append(QStringLiteral("activate"));
    }
    void openWorkspace() override { calls.append(QStringLiteral("openWorkspace")); }
};

// Answers every dialog at once with `path` (nothing: cancelled), or, with `answerLater`, keeps
// the answer in `pending` for the test to give.
class FakeFileChooser : public FileChooser {
public:
    std::optional<QString> path;
    bool answerLater = false;
    QList<Request> requests;
    std::function<void(const QUrl&)> pending;

    void chooseFileToOpen(QWidget*, const Request& request, std::function<void(const QUrl&)> chosen) override {
        answer(request, std::move(chosen));
    }
    void chooseSaveLocation(QWidget*, const Request& request, std::function<void(const QUrl&)> chosen) override {
        answer(request, std::move(chosen));
    }

private:
    void answer(const Request& request, std::function<void(const QUrl&)> chosen) {
        requests.append(request);
        if (answerLater)
            pending = std::move(chosen);
        else if (path)
            chosen(QUrl::fromLocalFile(*path));
    }
};

// A store over the doubles above, an in-memory defaults store with the AI consent given, a
// history in a temporary folder and the answer client pointed at the loopback stub.
class StoreFixture : public ::testing::Test {
protected:
    static inline const QByteArray answerPath = "/v1/ai/answer";

    StoreFixture() : defaults(QString()) {
        tamsel::AIPrivacyConsent::set(true, defaults);
        HistoryStore::Options options;
        options.dataFolder = dir.filePath(QStringLiteral("data"));
        history = std::make_unique<HistoryStore>(options);
        stub.expect("POST", answerPath, &testsupport::HostedStub::checkAnswerRequest);
    }
    // Work the store left waiting on the scheduler runs once the store is gone: it finds the store
    // gone and ends, as it does after the program's worker threads, instead of staying suspended.
    ~StoreFixture() override {
        store_.reset();
        while (scheduler->pendingJobs() > 0) scheduler->runNextJob();
    }

    // The fakes of this fixture as a store's services (the client is left to the store).
    AppStoreServices fakeServices() {
        AppStoreServices services;
        services.defaults = &defaults;
        services.history = history.get();
        services.windows = windows;
        services.files = files;
        services.scheduler = scheduler;
        services.clock = clock;
        services.clipboard = clipboard;
        services.sessionToken = token;
        services.importer = importer;
        services.capture = capture;
        return services;
    }

    // Made on first use, so that a test can prepare the defaults first.
    AppStore& store() {
        if (!store_) {
            tamsel::ResponsesClient::Options clientOptions;
            clientOptions.endpoint =
                tamsel::ResponsesClient::endpoint(endpointBase.isEmpty() ? stub.baseUrl() : endpointBase);
            clientOptions.requestTimeout = requestTimeout;
            clientOptions.resourceTimeout = requestTimeout + std::chrono::milliseconds(500);
            clientOptions.defaults = &defaults;
            AppStoreServices services = fakeServices();
            services.client = std::make_shared<tamsel::ResponsesClient>(nullptr, clientOptions);
            store_ = std::make_unique<AppStore>(services);
        }
        return *store_;
    }

    bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
        return QTest::qWaitFor(condition, timeoutMs);
    }
    // Waits until the running operation has ended.
    bool waitIdle(int timeoutMs = 5000) { return waitUntil([this] { return !store().isBusy(); }, timeoutMs); }

    QTemporaryDir dir;
    base::DefaultsStore defaults;
    std::unique_ptr<HistoryStore> history;
    testsupport::HostedStub stub;
    QUrl endpointBase;
    std::chrono::milliseconds requestTimeout{5000};
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<FakeFileChooser> files = std::make_shared<FakeFileChooser>();
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<FakeTokenSource> token = std::make_shared<FakeTokenSource>();
    std::shared_ptr<FakeImporter> importer = std::make_shared<FakeImporter>();
    std::shared_ptr<FakeCapture> capture = std::make_shared<FakeCapture>();

private:
    std::unique_ptr<AppStore> store_;
};

}  // namespace storetest
