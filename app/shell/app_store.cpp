#include "app/shell/app_store.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <array>
#include <charconv>
#include <utility>

#include "app/account/history_store.h"
#include "app/account/learning_record.h"
#include "app/shell/file_chooser.h"
#include "app/shell/ui_strings.h"
#include "base/task.h"
#include "base/errors.h"
#include "base/files.h"
#include "net/http.h"
#include "base/text.h"
#include "core/consent.h"
#include "core/local_document_reference.h"
#include "platform/selection_service_provider.h"

namespace velquin {

using tamsel::AnswerLanguage;
using tamsel::ModelAnswer;
using tamsel::ReasoningEffort;
using tamsel::StudyMode;

namespace {

const QString kLanguageKey = QStringLiteral("answerLanguage");
const QString kModelKey = QStringLiteral("modelID");
const QString kOutputTokensKey = QStringLiteral("maxOutputTokens");
const QString kEffortKey = QStringLiteral("reasoningEffort");

const QString kEditedSourceNote = QStringLiteral("输入已更新，请核对文字后发送。");
const QString kExtractionLabel = QStringLiteral("正在本机提取文字…");
const QString kHistoryNotStoredStatus = QStringLiteral("已完成，但未存入学习历史");
const QString kTimedOutMessage = QStringLiteral("请求超时。请检查网络，或缩短输入后重试。");
const QString kConnectionMessage = QStringLiteral("网络连接失败，请检查网络后重试。");

std::optional<AppStoreServices>& configuredServices() {
    static std::optional<AppStoreServices> services;
    return services;
}

AppStore*& sharedInstance() {
    static AppStore* instance = nullptr;
    return instance;
}

// (Inside the coroutines of this file, every awaited object is a named local first: g++ 12 may
// destroy the captures of a temporary awaited in place twice.)

bool canonicallyEqual(const QString& a, const QString& b) {
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

// The extension of a URL's last path component, lower-cased: what follows its last dot when that
// dot is neither the first nor the last character.
QString lowerPathExtension(const QUrl& url) {
    QString name = url.path();
    while (name.size() > 1 && name.endsWith(u'/')) name.chop(1);
    name = name.mid(name.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1) return {};
    return name.mid(dot + 1).toLower();
}

// The URL with its path made absolute and clean, for comparing two references to one file.
QUrl standardizedFileURL(const QUrl& url) {
    if (!url.isLocalFile()) return url.adjusted(QUrl::NormalizePathSegments);
    return QUrl::fromLocalFile(QDir::cleanPath(QDir::fromNativeSeparators(url.toLocalFile())));
}

// The number with one digit after a decimal point, as "%.1f" writes it in the C locale: rounded
// from its exact binary value (3.25 gives "3.2"), whatever the process locale.
QString oneDecimal(double value) {
    std::array<char, 64> buffer{};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                       std::chars_format::fixed, 1);
    if (written.ec != std::errc()) return QString::number(value, 'f', 1);
    return QString::fromLatin1(buffer.data(), written.ptr - buffer.data());
}

// Replaces the file at `path` as a whole with `bytes`, with the user's usual permissions; an
// existing file stays as it was when anything fails. The failure shows the system's own words.
void writeExport(const QString& path, const QByteArray& bytes) {
    try {
        base::files::writeAtomically(path, bytes, base::files::FileAccess::userDefault);
    } catch (const base::FileError& error) {
        throw base::SystemError(error.detail().isEmpty() ? error.message() : error.detail());
    }
}

// What the person hears about the settings file; empty when all is well.
QString settingsFileNotice(const base::DefaultsStore::FileStatus& status) {
    const QString setAside = status.setAsidePath.isEmpty()
                                 ? QString()
                                 : QStringLiteral("无法读取的设置文件已原样另存为 ") +
                                       QFileInfo(status.setAsidePath).fileName() + QStringLiteral("。");
    if (status.writeFailure) {
        const QString detail = QStringLiteral("（") + *status.writeFailure + QStringLiteral("）");
        // Still unreadable: the move aside failed, and nothing was written over the file.
        if (status.unreadable)
            return QStringLiteral("无法读取的设置文件未能另存，为保护原文件，设置更改只在本次运行中有效。") + detail;
        return setAside + QStringLiteral("设置保存失败，更改只在本次运行中有效。") + detail;
    }
    // Unreadable again after an earlier file was moved aside: what holds now comes first.
    if (status.unreadable && status.earlierValuesKept)
        return QStringLiteral("设置文件已无法读取，当前设置保持不变；原文件已保留，不会被覆盖，下次保存前会将它原样另存。");
    if (status.unreadable)
        return QStringLiteral("设置文件无法读取，已改用默认设置；原文件已保留，不会被覆盖，下次保存前会将它原样另存。");
    return setAside;
}

}  // namespace

// ---- Creation and settings -------------------------------------------------------------------

AppStore::AppStore(AppStoreServices services, QObject* parent)
    : QObject(parent),
      services_(services.completed()),
      defaults_(*services_.defaults),
      history_(*services_.history),
      model_(tamsel::ResponsesClient::defaultModel) {
    // The first start writes the hosted profile, so that the reads below see it.
    tamsel::BudgetProfile::applyOnce(defaults_);
    language_ = base::fromRawValue<AnswerLanguage>(defaults_.string(kLanguageKey))
                    .value_or(AnswerLanguage::simplifiedChinese);
    model_ = tamsel::ResponsesClient::defaultModel;
    const qint64 storedLimit = defaults_.integer(kOutputTokensKey, 0);
    maxOutputTokens_ = tamsel::ResponsesClient::isValidOutputLimit(storedLimit)
                           ? int(storedLimit)
                           : tamsel::ResponsesClient::defaultOutputTokens;
    reasoningEffort_ =
        base::fromRawValue<ReasoningEffort>(defaults_.string(kEffortKey)).value_or(ReasoningEffort::none);
    // The settings file may be written from any thread: the notice reaches this one queued.
    connect(&defaults_, &base::DefaultsStore::fileStatusChanged, this, &AppStore::showSettingsFileNotice);
    showSettingsFileNotice();
}

void AppStore::showSettingsFileNotice() {
    const QString notice = settingsFileNotice(defaults_.fileStatus());
    if (notice == settingsFileNotice_) return;
    settingsFileNotice_ = notice;
    if (!notice.isEmpty()) setErrorMessage(notice);
}

AppStore::~AppStore() {
    // Work that ends while it is being stopped finds its operation stale and touches nothing.
    operation_.invalidate();
    if (work_) work_->cancel();
    // A PDF still waiting for its page range is not read any more.
    if (pendingStagedPDF_) services_.importer->removeStagedFile(*std::exchange(pendingStagedPDF_, std::nullopt));
    if (sharedInstance() == this) sharedInstance() = nullptr;
}

AppStore& AppStore::shared() {
    AppStore*& instance = sharedInstance();
    if (!instance) instance = new AppStore(configuredServices().value_or(AppStoreServices{}));
    return *instance;
}

void AppStore::configureShared(AppStoreServices services) {
    if (!sharedInstance()) configuredServices() = std::move(services);
}

// ---- State -----------------------------------------------------------------------------------

void AppStore::setSelectionPresentation(bool value) {
    assign(selectionPresentation_, value, &AppStore::selectionPresentationChanged);
}

void AppStore::setTutorHandoffSource(const std::optional<QString>& value) {
    assign(tutorHandoffSource_, value, &AppStore::tutorHandoffSourceChanged);
}

void AppStore::setSource(const QString& value) {
    const QString old = source_;
    if (!assign(source_, value, &AppStore::sourceChanged)) return;
    if (canonicallyEqual(old, value)) return;
    setTutorHandoffSource(std::nullopt);
    setAnswer(std::nullopt);
    setResultDetail(QString());
    setSourceNote(kEditedSourceNote);
}

void AppStore::setMode(StudyMode value) {
    if (assign(mode_, value, &AppStore::modeChanged)) setAnswer(std::nullopt);
}

// The stored settings are written on every call, also when the value is the same.
void AppStore::setLanguage(AnswerLanguage value) {
    defaults_.setString(kLanguageKey, base::rawValue(value));
    if (assign(language_, value, &AppStore::languageChanged)) setAnswer(std::nullopt);
}

void AppStore::setModel(const QString& value) {
    defaults_.setString(kModelKey, value);
    assign(model_, value, &AppStore::modelChanged);
}

void AppStore::setMaxOutputTokens(int value) {
    defaults_.setInteger(kOutputTokensKey, value);
    assign(maxOutputTokens_, value, &AppStore::maxOutputTokensChanged);
}

void AppStore::setReasoningEffort(ReasoningEffort value) {
    defaults_.setString(kEffortKey, base::rawValue(value));
    assign(reasoningEffort_, value, &AppStore::reasoningEffortChanged);
}

void AppStore::setAnswer(const std::optional<ModelAnswer>& value) { assign(answer_, value, &AppStore::answerChanged); }

void AppStore::setResultDetail(const QString& value) { assign(resultDetail_, value, &AppStore::resultDetailChanged); }

void AppStore::setSourceNote(const QString& value) { assign(sourceNote_, value, &AppStore::sourceNoteChanged); }

void AppStore::setStatus(const QString& value) { assign(status_, value, &AppStore::statusChanged); }

void AppStore::setErrorMessage(const std::optional<QString>& value) {
    assign(errorMessage_, value, &AppStore::errorMessageChanged);
}

void AppStore::setBusy(bool value) { assign(isBusy_, value, &AppStore::isBusyChanged); }

void AppStore::setShowImporter(bool value) { assign(showImporter_, value, &AppStore::showImporterChanged); }

void AppStore::setShowSettings(bool value) { assign(showSettings_, value, &AppStore::showSettingsChanged); }

void AppStore::setShowPrivacyConsent(bool value) {
    assign(showPrivacyConsent_, value, &AppStore::showPrivacyConsentChanged);
}

void AppStore::setShowAccountLogin(bool value) { assign(showAccountLogin_, value, &AppStore::showAccountLoginChanged); }

void AppStore::setShowCaptureGuide(bool value) { assign(showCaptureGuide_, value, &AppStore::showCaptureGuideChanged); }

void AppStore::setShowDirectSelectionSettings(bool value) {
    assign(showDirectSelectionSettings_, value, &AppStore::showDirectSelectionSettingsChanged);
}

void AppStore::setPdfChoice(const std::optional<PDFChoice>& value) {
    const bool same = (!pdfChoice_ && !value) || (pdfChoice_ && value && pdfChoice_->id == value->id);
    pdfChoice_ = value;
    if (!same) emit pdfChoiceChanged();
}

void AppStore::switchSheets(std::initializer_list<Sheet> closing, std::optional<Sheet> opening) {
    const auto set = [this](Sheet sheet, bool shown) {
        switch (sheet) {
        case Sheet::importer: setShowImporter(shown); break;
        case Sheet::settings: setShowSettings(shown); break;
        case Sheet::privacyConsent: setShowPrivacyConsent(shown); break;
        case Sheet::accountLogin: setShowAccountLogin(shown); break;
        case Sheet::captureGuide: setShowCaptureGuide(shown); break;
        case Sheet::directSelectionSettings: setShowDirectSelectionSettings(shown); break;
        case Sheet::pdfChoice:
            Q_ASSERT(!shown);
            setPdfChoice(std::nullopt);
            break;
        case Sheet::pendingPDF:
            Q_ASSERT(!shown);
            discardPendingPDF();
            break;
        }
    };
    for (const Sheet sheet : closing) set(sheet, false);
    if (opening) set(*opening, true);
}

void AppStore::openDirectSelectionSettings() {
    switchSheets({Sheet::settings, Sheet::captureGuide, Sheet::importer, Sheet::pdfChoice},
                 Sheet::directSelectionSettings);
}

bool AppStore::canSubmit() const {
    return !isBusy_ && !base::text::trimmed(source_).isEmpty() && base::text::graphemeCount(source_) <= submitLimit;
}

std::optional<QUrl> AppStore::pendingDocumentURL() const { return tamsel::LocalDocumentReference::url(source_); }

QString AppStore::submitTitle() const {
    if (pendingDocumentURL()) return QStringLiteral("读取文件内容");
    return tamsel::actionTitle(mode_);
}

// ---- Operations ------------------------------------------------------------------------------

QUuid AppStore::begin(const QString& message) {
    const QUuid id = operation_.begin();
    setBusy(true);
    setErrorMessage(std::nullopt);
    setStatus(message);
    return id;
}

void AppStore::finish(const QUuid& id, const QString& message) {
    if (!operation_.isCurrent(id)) return;
    setBusy(false);
    work_.reset();
    setStatus(message);
}

void AppStore::completeError(std::exception_ptr error, const QUuid& id) {
    if (!operation_.isCurrent(id)) return;
    finish(id, QStringLiteral("未完成"));
    try {
        std::rethrow_exception(error);
    } catch (const base::CancellationError&) {
        setStatus(QStringLiteral("已停止"));
    } catch (const std::exception& other) {
        report(other);
    } catch (...) {
        setErrorMessage(std::nullopt);
    }
}

void AppStore::report(const std::exception& error) {
    if (const auto* network = dynamic_cast<const net::NetworkError*>(&error)) {
        setErrorMessage(network->kind() == net::NetworkError::Kind::timedOut ? kTimedOutMessage : kConnectionMessage);
    } else if (dynamic_cast<const base::CancellationError*>(&error)) {
        setErrorMessage(std::nullopt);
    } else if (const auto* known = dynamic_cast<const base::Error*>(&error)) {
        setErrorMessage(known->message());
    } else {
        setErrorMessage(QString::fromUtf8(error.what()));
    }
}

base::CancellationToken AppStore::replaceWork() {
    work_ = std::make_shared<base::CancellationSource>();
    return work_->token();
}

bool AppStore::isCurrent(const QUuid& id, const base::CancellationToken& cancellation) const {
    return operation_.isCurrent(id) && !cancellation.isCancelled();
}

// ---- The answer request ----------------------------------------------------------------------

void AppStore::submit() {
    if (isBusy_) return;
    if (const auto document = pendingDocumentURL()) {
        importURL(*document);
        return;
    }
    try {
        // Only the check counts: the request carries the source as it is, and the client trims it.
        (void)tamsel::SourceText::validated(source_);
    } catch (const base::Error& error) {
        report(error);
        return;
    }
    if (!tamsel::AIPrivacyConsent::isGranted(defaults_)) {
        setShowPrivacyConsent(true);
        setStatus(QStringLiteral("同意 AI 数据处理后，再点击发送"));
        return;
    }
    RequestValues values{source_, mode_, language_, model_, maxOutputTokens_, reasoningEffort_};
    const QUuid id = begin(QStringLiteral("正在生成，请稍候…"));
    setAnswer(std::nullopt);
    setResultDetail(QString());
    const double started = services_.clock->now();
    const base::CancellationToken cancellation = replaceWork();
    base::detach(runRequest(id, started, std::move(values), cancellation, services_.client));
}

QCoro::Task<void> AppStore::runRequest(QUuid id, double started, RequestValues values,
                                       base::CancellationToken cancellation,
                                       std::shared_ptr<tamsel::ResponsesClient> client) {
    QPointer<AppStore> guard(this);
    auto tokenSource = services_.sessionToken;

    // The keyring may block (or ask to be unlocked): it is read away from the main thread.
    std::optional<QString> token;
    std::exception_ptr failure;
    try {
        auto pending = base::runBlocking(*services_.scheduler, [tokenSource]() { return tokenSource->load(); });
        token = co_await pending;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!guard) co_return;
    if (failure) {
        completeError(failure, id);
        co_return;
    }
    // A request that was stopped or replaced meanwhile ends here, and never asks for a sign-in.
    if (!isCurrent(id, cancellation)) co_return;
    if (!token || token->isEmpty()) {
        setShowAccountLogin(true);
        completeError(std::make_exception_ptr(tamsel::StudyError(tamsel::StudyError::Case::missingKey)), id);
        co_return;
    }

    ModelAnswer result;
    try {
        auto request = client->answer(values.source, values.mode, values.language, *token, values.model,
                                      values.maxOutputTokens, values.reasoningEffort, cancellation);
        result = co_await request;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!guard) co_return;
    if (failure) {
        completeError(failure, id);
        co_return;
    }
    if (!isCurrent(id, cancellation)) co_return;

    setAnswer(result);
    const bool recorded = history_.add(values.source, result.text, base::rawValue(values.mode));
    setResultDetail(detailLine(values.model, services_.clock->now() - started, result));
    if (!recorded) {
        // The answer is here but the history did not take it: said beside the answer, not only
        // on the history page.
        finish(id, kHistoryNotStoredStatus);
        setErrorMessage(history_.statusMessage());
        co_return;
    }
    finish(id, QStringLiteral("已完成"));
}

QString AppStore::detailLine(const QString& model, double elapsedSeconds, const ModelAnswer& answer) {
    QString detail = model + QStringLiteral(" · ") + oneDecimal(elapsedSeconds) + QStringLiteral(" 秒");
    if (answer.inputTokens && answer.outputTokens) {
        detail += QStringLiteral(" · tokens：输入 ") + QString::number(*answer.inputTokens) + QStringLiteral(" / 输出 ") +
                  QString::number(*answer.outputTokens);
    }
    return detail;
}

void AppStore::cancel() {
    operation_.invalidate();
    if (work_) {
        const auto running = std::move(work_);
        work_.reset();
        running->cancel();
    }
    discardPendingPDF();
    setBusy(false);
    setStatus(QStringLiteral("已停止"));
}

// ---- Hand-offs and window actions ------------------------------------------------------------

void AppStore::stageInLessonary(const QString& text, StudyMode mode, const std::optional<ModelAnswer>& existingAnswer,
                                const QString& sourceDescription) {
    cancel();
    switchSheets({Sheet::importer, Sheet::pdfChoice, Sheet::captureGuide});
    setSource(text);
    setMode(mode);
    setSelectionPresentation(false);
    setAnswer(existingAnswer);
    setResultDetail(existingAnswer ? QStringLiteral("已从现有学习结果打开 · 未再次调用 AI") : QString());
    setSourceNote(sourceDescription);
    setErrorMessage(std::nullopt);
    setStatus(existingAnswer ? QStringLiteral("已载入学习结果") : QStringLiteral("已载入原文，请选择学习方式后开始"));
}

void AppStore::reopenHistoryRecord(const LearningRecord& record) {
    const StudyMode mode = base::fromRawValue<StudyMode>(record.mode).value_or(StudyMode::explain);
    const ModelAnswer answer{record.answer, std::nullopt, std::nullopt, std::nullopt};
    stageInLessonary(record.source, mode, answer, QStringLiteral("从学习历史继续 · 原记录未修改"));
}

bool AppStore::stageCurrentSourceForTutor() {
    const QString trimmed = base::text::trimmed(source_);
    if (trimmed.isEmpty()) return false;
    setTutorHandoffSource(trimmed);
    return true;
}

void AppStore::receiveSelection(const halvern::SelectionRequest& request) {
    cancel();
    switchSheets(
        {Sheet::importer, Sheet::pdfChoice, Sheet::settings, Sheet::captureGuide, Sheet::directSelectionSettings});
    setSource(request.text);
    setMode(request.mode);
    setSelectionPresentation(true);
    setSourceNote(QStringLiteral("来自系统文本服务；仅在你明确同意 AI 处理后才会发送。"));
    submit();
}

void AppStore::showFullWorkspace() {
    const bool leavingCompactView = selectionPresentation_;
    setSelectionPresentation(false);
    // The window keeps the size the user gave it unless it is coming back from the compact view.
    if (!leavingCompactView) return;
    QPointer<AppStore> guard(this);
    services_.scheduler->post([guard]() {
        if (!guard) return;
        const auto window = guard->mainWorkspaceWindow();
        if (!window) return;
        const QSizeF wanted(std::max(760.0, window->minimumContentSize.width()),
                            std::max(840.0, window->minimumContentSize.height()));
        guard->services_.windows->setContentSize(window->id, wanted);
    });
}

std::optional<WindowSystem::Window> AppStore::mainWorkspaceWindow() const {
    return window_rules::mainWorkspaceWindow(services_.windows->windows());
}

// ---- Input actions ---------------------------------------------------------------------------

std::optional<QUrl> AppStore::clipboardFile() const {
    for (const QUrl& url : services_.clipboard->fileURLs()) {
        if (tamsel::LocalDocumentReference::isSupported(url)) return url;
    }
    return std::nullopt;
}

void AppStore::pasteText() {
    if (isBusy_) return;
    if (const auto file = clipboardFile()) {
        importURL(*file);
        return;
    }
    const std::optional<QString> text = services_.clipboard->string();
    if (!text) {
        setErrorMessage(QStringLiteral("剪贴板没有文字。图片请使用“粘贴图片”。"));
        return;
    }
    if (const auto document = tamsel::LocalDocumentReference::url(*text)) {
        importURL(*document);
        return;
    }
    QString validated;
    try {
        validated = tamsel::SourceText::validated(*text);
    } catch (const base::Error& error) {
        report(error);
        return;
    }
    setSource(validated);
    setSourceNote(QStringLiteral("已粘贴文字。你可以先编辑，再发送。"));
    setErrorMessage(std::nullopt);
}

void AppStore::pasteImage() {
    if (isBusy_) return;
    if (const auto file = clipboardFile()) {
        importURL(*file);
        return;
    }
    if (const auto text = services_.clipboard->string()) {
        if (const auto document = tamsel::LocalDocumentReference::url(*text)) {
            importURL(*document);
            return;
        }
    }
    const std::optional<QByteArray> image = services_.clipboard->imageData();
    if (!image || image->isEmpty()) {
        setErrorMessage(QStringLiteral("剪贴板没有可读取的图片。可以先复制图片，再点“粘贴图片”。"));
        return;
    }
    auto importer = services_.importer;
    const QByteArray bytes = *image;
    runImport(QStringLiteral("正在识别图片…"), [importer, bytes](const base::CancellationToken& cancellation) {
        return importer->recognizeImage(bytes, cancellation);
    });
}

void AppStore::importURL(const QUrl& file) {
    if (isBusy_) return;
    // The staged copy keeps the file's name, so the name tells a PDF.
    if (lowerPathExtension(file) != QLatin1String("pdf")) {
        runImport(kExtractionLabel, importFileCopy(file, std::nullopt, false));
        return;
    }
    discardPendingPDF();
    const QUuid id = begin(QStringLiteral("正在读取 PDF 信息…"));
    const base::CancellationToken cancellation = replaceWork();
    base::detach(runPageCount(id, file, cancellation));
}

QCoro::Task<void> AppStore::runPageCount(QUuid id, QUrl file, base::CancellationToken cancellation) {
    QPointer<AppStore> guard(this);
    auto importer = services_.importer;
    // The copy (up to the size limit) and the count both run away from the main thread.
    std::pair<QUrl, int> counted;
    std::exception_ptr failure;
    try {
        auto pending = base::runBlocking(*services_.scheduler, [importer, file]() {
            const QUrl staged = importer->stageSelectedFile(file);
            try {
                return std::pair(staged, importer->pdfPageCount(staged));
            } catch (...) {
                importer->removeStagedFile(staged);
                throw;
            }
        });
        counted = co_await pending;
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (guard) completeError(failure, id);
        co_return;
    }
    const auto [staged, count] = counted;
    if (!guard || !isCurrent(id, cancellation)) {
        importer->removeStagedFile(staged);
        co_return;
    }
    pendingStagedPDF_ = staged;
    // Not busy any more before the sheet shows, so that its import is not refused.
    finish(id, QStringLiteral("请选择 PDF 页码"));
    setPdfChoice(PDFChoice(staged, count));
}

void AppStore::importFile(const QUrl& file, std::optional<PageRange> pages) {
    if (isBusy_) return;
    if (pendingStagedPDF_ && standardizedFileURL(*pendingStagedPDF_) == standardizedFileURL(file)) {
        // Taken out of the slot first: the sheet's dismissal discards the pending PDF, and must not
        // delete the copy that is being read.
        pendingStagedPDF_.reset();
        runImport(kExtractionLabel, importFileCopy(file, pages, true));
        return;
    }
    runImport(kExtractionLabel, importFileCopy(file, pages, false));
}

AppStore::ImportOperation AppStore::importFileCopy(const QUrl& file, std::optional<PageRange> pages,
                                                   bool alreadyStaged) const {
    auto importer = services_.importer;
    return [importer, file, pages, alreadyStaged](const base::CancellationToken& cancellation) {
        const QUrl staged = alreadyStaged ? file : importer->stageSelectedFile(file);
        ImportedText result;
        try {
            result = importer->extractFile(staged, pages, cancellation);
        } catch (...) {
            importer->removeStagedFile(staged);
            throw;
        }
        importer->removeStagedFile(staged);
        return result;
    };
}

void AppStore::runImport(const QString& label, ImportOperation operation) {
    if (isBusy_) return;
    const QUuid id = begin(label);
    const base::CancellationToken cancellation = replaceWork();
    base::detach(runExtraction(id, std::move(operation), cancellation));
}

QCoro::Task<void> AppStore::runExtraction(QUuid id, ImportOperation operation, base::CancellationToken cancellation) {
    QPointer<AppStore> guard(this);
    ImportedText result;
    std::exception_ptr failure;
    try {
        auto pending =
            base::runBlocking(*services_.scheduler, [operation, cancellation]() { return operation(cancellation); });
        result = co_await pending;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!guard) co_return;
    if (failure) {
        completeError(failure, id);
        co_return;
    }
    if (!isCurrent(id, cancellation)) co_return;
    setSource(result.text);
    setSourceNote(result.note);
    finish(id, QStringLiteral("文字已提取，请核对后发送"));
}

void AppStore::discardPendingPDF() {
    if (pendingStagedPDF_) {
        const QUrl staged = *pendingStagedPDF_;
        pendingStagedPDF_.reset();
        services_.importer->removeStagedFile(staged);
    }
    setPdfChoice(std::nullopt);
}

void AppStore::captureScreenText() {
    if (isBusy_) return;
    showFullWorkspace();
    const QUuid id = begin(QStringLiteral("请拖动鼠标框选文字；按 Esc 取消…"));
    services_.windows->hideApplication();
    const base::CancellationToken cancellation = replaceWork();
    base::detach(runCapture(id, cancellation));
}

QCoro::Task<void> AppStore::runCapture(QUuid id, base::CancellationToken cancellation) {
    QPointer<AppStore> guard(this);
    auto capture = services_.capture;
    auto windows = services_.windows;
    ImportedText result;
    std::exception_ptr failure;
    try {
        auto captured = capture->recognizeSelectedRegion(cancellation);
        result = co_await captured;
    } catch (...) {
        failure = std::current_exception();
    }
    // The application comes back whatever happened.
    windows->showApplication();
    windows->activateApplication();
    if (!guard) co_return;
    if (failure) {
        completeError(failure, id);
        co_return;
    }
    if (!isCurrent(id, cancellation)) co_return;
    setSource(result.text);
    setSourceNote(result.note);
    finish(id, QStringLiteral("截图文字已提取，请核对后发送"));
}

void AppStore::openDocumentReader() {
    showFullWorkspace();
    switchSheets({Sheet::directSelectionSettings, Sheet::settings, Sheet::importer, Sheet::pendingPDF},
                 Sheet::captureGuide);
    services_.windows->showApplication();
    if (const auto window = mainWorkspaceWindow()) services_.windows->raiseWindow(window->id);
    services_.windows->activateApplication();
}

// ---- Output actions --------------------------------------------------------------------------

void AppStore::clear() {
    if (isBusy_) return;
    discardPendingPDF();
    setSource(QString());
    setAnswer(std::nullopt);
    setResultDetail(QString());
    setSourceNote(initialSourceNote);
    setErrorMessage(std::nullopt);
    setStatus(initialStatus);
}

void AppStore::copyAnswer() {
    if (!answer_) return;
    services_.clipboard->replaceWithString(answer_->text);
    setStatus(QStringLiteral("答案已复制"));
}

void AppStore::exportAnswer() {
    if (!answer_) return;
    // What the user asked to export, whatever changes while the dialog is open.
    const QByteArray bytes = answer_->text.toUtf8();
    FileChooser::Request request;
    request.patterns = {QStringLiteral("*.txt")};
    request.patternsTitle =
        UIStrings::choose(QStringLiteral("纯文本"), QStringLiteral("Plain text"), QStringLiteral("Texte brut"));
    request.fileName = exportFileName;
    // Plain text only: a name typed without an extension gets ".txt".
    request.defaultSuffix = QStringLiteral("txt");
    QPointer<AppStore> guard(this);
    services_.files->chooseSaveLocation(nullptr, request, [guard, bytes](const QUrl& file) {
        if (!guard) return;
        try {
            writeExport(file.toLocalFile(), bytes);
        } catch (const std::exception& error) {
            guard->report(error);
            return;
        }
        guard->setStatus(QStringLiteral("答案已导出"));
    });
}

}  // namespace velquin
