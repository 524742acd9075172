#include "app/shell/app_store_services.h"

#include "app/account/session_keyring.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <chrono>

#include "app/account/history_store.h"
#include "app/shell/file_chooser.h"
#include "app/shell/qt_window_system.h"
#include "base/work_scheduler.h"

namespace velquin {

Clock::~Clock() = default;
Clipboard::~Clipboard() = default;
SessionTokenSource::~SessionTokenSource() = default;
DocumentImporter::~DocumentImporter() = default;
ScreenCapture::~ScreenCapture() = default;

double SteadyClock::now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

QList<QUrl> SystemClipboard::fileURLs() {
    QList<QUrl> files;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) files.append(url);
    }
    return files;
}

std::optional<QString> SystemClipboard::string() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

std::optional<QByteArray> SystemClipboard::imageData() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasImage()) return std::nullopt;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return std::nullopt;
    return bytes;
}

void SystemClipboard::replaceWithString(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data);
}

AppStoreServices AppStoreServices::completed() const {
    AppStoreServices services = *this;
    if (!services.defaults) services.defaults = &base::DefaultsStore::standard();
    if (!services.history) services.history = &sharedHistoryWithKeychain();
    if (!services.windows) services.windows = QtWindowSystem::shared();
    if (!services.files) services.files = QtFileChooser::shared();
    if (!services.scheduler) services.scheduler = std::make_shared<base::QtWorkScheduler>();
    if (!services.clock) services.clock = std::make_shared<SteadyClock>();
    if (!services.clipboard) services.clipboard = std::make_shared<SystemClipboard>();
    if (!services.sessionToken) services.sessionToken = makeKeychainTokenSource();
    if (!services.importer) services.importer = makePlatformDocumentImporter();
    if (!services.capture) services.capture = makePlatformScreenCapture();
    if (!services.client) {
        tamsel::ResponsesClient::Options options;
        options.defaults = services.defaults;
        services.client = std::make_shared<tamsel::ResponsesClient>(nullptr, options);
    }
    return services;
}

}  // namespace velquin
