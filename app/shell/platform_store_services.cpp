// The store's services over the platform module: the keyring, the importer and screen capture.
#include "app/shell/app_store_services.h"

#include "platform/import_service.h"
#include "platform/keychain_store.h"
#include "platform/screen_text_capture.h"

namespace velquin {

namespace {

ImportedText fromPlatform(const halvern::ImportedText& imported) { return ImportedText{imported.text, imported.note}; }

class KeychainTokenSource : public SessionTokenSource {
public:
    std::optional<QString> load() override { return halvern::KeychainStore::load(); }
};

class PlatformDocumentImporter : public DocumentImporter {
public:
    QUrl stageSelectedFile(const QUrl& file) override { return halvern::ImportService::stageSelectedFile(file); }
    void removeStagedFile(const QUrl& stagedFile) override { halvern::ImportService::removeStagedFile(stagedFile); }
    int pdfPageCount(const QUrl& file) override { return halvern::ImportService::pdfPageCount(file); }
    ImportedText extractFile(const QUrl& file, std::optional<PageRange> pages,
                             const base::CancellationToken& cancellation) override {
        std::optional<halvern::PageRange> range;
        if (pages) range = halvern::PageRange{pages->first, pages->last};
        return fromPlatform(halvern::ImportService::extractFile(file, range, cancellation));
    }
    ImportedText recognizeImage(const QByteArray& data, const base::CancellationToken& cancellation) override {
        return fromPlatform(halvern::ImportService::recognizeImage(data, cancellation));
    }
};

class PlatformScreenCapture : public ScreenCapture {
public:
    QCoro::Task<ImportedText> recognizeSelectedRegion(base::CancellationToken cancellation) override {
        auto capture = halvern::ScreenTextCapture::recognizeSelectedRegion(cancellation);
        const halvern::ImportedText captured = co_await capture;
        co_return fromPlatform(captured);
    }
};

}  // namespace

std::shared_ptr<SessionTokenSource> makeKeychainTokenSource() { return std::make_shared<KeychainTokenSource>(); }
std::shared_ptr<DocumentImporter> makePlatformDocumentImporter() { return std::make_shared<PlatformDocumentImporter>(); }
std::shared_ptr<ScreenCapture> makePlatformScreenCapture() { return std::make_shared<PlatformScreenCapture>(); }

}  // namespace velquin
