#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <memory>
#include <optional>

#include "base/cancellation.h"
#include "base/defaults_store.h"
#include "base/work_scheduler.h"
#include "core/responses_client.h"

// The outside world as the central store sees it: each a narrow interface with one production
// implementation and test doubles in the tests.
namespace velquin {

class FileChooser;
class HistoryStore;
class WindowSystem;

// Text brought in from a file, an image or the screen, with a note on where it came from.
struct ImportedText {
    QString text;
    QString note;
    bool operator==(const ImportedText&) const = default;
};

// A closed range of 1-based PDF page numbers.
struct PageRange {
    int first = 1;
    int last = 1;
    bool operator==(const PageRange&) const = default;
};

// Seconds on a clock that only moves forward.
class Clock {
public:
    virtual ~Clock();
    virtual double now() = 0;
};

class SteadyClock : public Clock {
public:
    double now() override;
};

// The desktop's clipboard. Main thread only.
class Clipboard {
public:
    virtual ~Clipboard();
    // The local file URLs on the clipboard, in their order.
    virtual QList<QUrl> fileURLs() = 0;
    // The plain text on the clipboard; nothing when it holds none.
    virtual std::optional<QString> string() = 0;
    // The clipboard's image encoded as a picture file (PNG); nothing when it holds none.
    virtual std::optional<QByteArray> imageData() = 0;
    // Replaces everything on the clipboard with `text` as plain text.
    virtual void replaceWithString(const QString& text) = 0;
};

// The desktop's clipboard through QClipboard.
class SystemClipboard : public Clipboard {
public:
    QList<QUrl> fileURLs() override;
    std::optional<QString> string() override;
    std::optional<QByteArray> imageData() override;
    void replaceWithString(const QString& text) override;
};

// The session token of the signed-in account. May block; called away from the main thread.
class SessionTokenSource {
public:
    virtual ~SessionTokenSource();
    // The token, nothing when none is stored. Throws a base::Error when it cannot be read.
    virtual std::optional<QString> load() = 0;
};

// Staged copies of chosen files and the extraction of their text. Every call may block and runs on
// a worker thread. Implementations are thread-safe.
// Every failure is a base::Error whose message the interface shows.
class DocumentImporter {
public:
    virtual ~DocumentImporter();
    // Copies the file into a private staging folder and returns the copy's URL.
    virtual QUrl stageSelectedFile(const QUrl& file) = 0;
    // Removes the staging folder of a copy; never throws.
    virtual void removeStagedFile(const QUrl& stagedFile) = 0;
    virtual int pdfPageCount(const QUrl& file) = 0;
    virtual ImportedText extractFile(const QUrl& file, std::optional<PageRange> pages,
                                     const base::CancellationToken& cancellation) = 0;
    virtual ImportedText recognizeImage(const QByteArray& data, const base::CancellationToken& cancellation) = 0;
};

// The interactive capture of a screen region and the recognition of its text.
class ScreenCapture {
public:
    virtual ~ScreenCapture();
    // Cancelling `cancellation` ends the capture; the task then throws base::CancellationError.
    virtual QCoro::Task<ImportedText> recognizeSelectedRegion(base::CancellationToken cancellation) = 0;
};

// Everything the store is built over. Empty members get the production implementation.
struct AppStoreServices {
    base::DefaultsStore* defaults = nullptr;  // null: the standard store
    HistoryStore* history = nullptr;          // null: the shared history, reading the keyring
    std::shared_ptr<WindowSystem> windows;
    std::shared_ptr<FileChooser> files;
    std::shared_ptr<base::WorkScheduler> scheduler;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<Clipboard> clipboard;
    std::shared_ptr<SessionTokenSource> sessionToken;
    std::shared_ptr<DocumentImporter> importer;
    std::shared_ptr<ScreenCapture> capture;
    // null: a client of the configured service that reads the consent from `defaults`.
    std::shared_ptr<tamsel::ResponsesClient> client;

    // Fills every empty member with its production implementation.
    AppStoreServices completed() const;
};

// The production implementations over the platform services (keyring, import, screen capture).
// The shared learning history is the account's (sharedHistoryWithKeychain()).
std::shared_ptr<SessionTokenSource> makeKeychainTokenSource();
std::shared_ptr<DocumentImporter> makePlatformDocumentImporter();
std::shared_ptr<ScreenCapture> makePlatformScreenCapture();

}  // namespace velquin
