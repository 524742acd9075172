#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

#include "app/shell/app_store_services.h"
#include "app/shell/window_system.h"
#include "base/cancellation.h"
#include "core/responses_client.h"
#include "core/study.h"

namespace halvern {
struct SelectionRequest;
}

namespace velquin {

struct LearningRecord;

// A staged PDF waiting for its page range. Every choice made with the constructor is a new one.
struct PDFChoice {
    PDFChoice(QUrl url, int pageCount) : id(QUuid::createUuid()), url(std::move(url)), pageCount(pageCount) {}

    QUuid id;
    QUrl url;       // the staged copy
    int pageCount;
};

// The state and actions of the main window's study flow: the source text and where it came from,
// the study settings, the last answer, the status and error lines, the busy flag, the sheets and
// the pending PDF page-range choice. One shared instance serves the application; it lives on the
// main thread. The texts it keeps are Chinese; views translate them through UIStrings.
//
// Long work (an answer request, an import, a capture) runs between begin and finish of one
// operation identifier; a result whose identifier is no longer current, or whose work was
// cancelled, is dropped without a word. Only one such operation runs at a time.
class AppStore : public QObject {
    Q_OBJECT
public:
    static inline const QString initialSourceNote = QStringLiteral("手动粘贴文字，或导入你要学习的图片和 PDF。");
    static inline const QString initialStatus = QStringLiteral("准备好了");
    static inline const QString exportFileName = QStringLiteral("Orvel-Result.txt");
    // The most characters the send buttons accept.
    static constexpr qsizetype submitLimit = 1500;

    explicit AppStore(AppStoreServices services = {}, QObject* parent = nullptr);
    ~AppStore() override;

    // The application's store, made on first use with the services of configureShared().
    static AppStore& shared();
    // Sets the services of the shared store; has no effect once it exists.
    static void configureShared(AppStoreServices services);

    // The learning history the store adds its answers to.
    HistoryStore& history() const { return history_; }

    // ---- State ---------------------------------------------------------------------------------
    bool selectionPresentation() const { return selectionPresentation_; }
    void setSelectionPresentation(bool value);
    const std::optional<QString>& tutorHandoffSource() const { return tutorHandoffSource_; }
    void setTutorHandoffSource(const std::optional<QString>& value);
    const QString& source() const { return source_; }
    // A text that differs (under canonical equivalence) drops the answer, the detail line and the
    // tutor hand-over text and sets the edited-text note.
    void setSource(const QString& value);
    tamsel::StudyMode mode() const { return mode_; }
    // Another mode drops the answer.
    void setMode(tamsel::StudyMode value);
    tamsel::AnswerLanguage language() const { return language_; }
    // Stored at once ("answerLanguage"); another language drops the answer.
    void setLanguage(tamsel::AnswerLanguage value);
    const QString& model() const { return model_; }
    void setModel(const QString& value);  // stored under "modelID"
    int maxOutputTokens() const { return maxOutputTokens_; }
    void setMaxOutputTokens(int value);   // stored as given
    tamsel::ReasoningEffort reasoningEffort() const { return reasoningEffort_; }
    void setReasoningEffort(tamsel::ReasoningEffort value);
    const std::optional<tamsel::ModelAnswer>& answer() const { return answer_; }
    void setAnswer(const std::optional<tamsel::ModelAnswer>& value);
    const QString& resultDetail() const { return resultDetail_; }
    void setResultDetail(const QString& value);
    const QString& sourceNote() const { return sourceNote_; }
    void setSourceNote(const QString& value);
    const QString& status() const { return status_; }
    void setStatus(const QString& value);
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    void setErrorMessage(const std::optional<QString>& value);
    bool isBusy() const { return isBusy_; }
    bool showImporter() const { return showImporter_; }
    void setShowImporter(bool value);
    bool showSettings() const { return showSettings_; }
    void setShowSettings(bool value);
    bool showPrivacyConsent() const { return showPrivacyConsent_; }
    void setShowPrivacyConsent(bool value);
    bool showAccountLogin() const { return showAccountLogin_; }
    void setShowAccountLogin(bool value);
    bool showCaptureGuide() const { return showCaptureGuide_; }
    void setShowCaptureGuide(bool value);
    bool showDirectSelectionSettings() const { return showDirectSelectionSettings_; }
    void setShowDirectSelectionSettings(bool value);
    const std::optional<PDFChoice>& pdfChoice() const { return pdfChoice_; }
    void setPdfChoice(const std::optional<PDFChoice>& value);

    // The sheets an action closes or opens. `pdfChoice` stands for the page-range choice, which is
    // only ever cleared: `pdfChoice` clears it (its sheet's dismissal then drops the staged copy),
    // `pendingPDF` drops the staged copy and clears it at once (discardPendingPDF()).
    enum class Sheet {
        importer,
        settings,
        privacyConsent,
        accountLogin,
        captureGuide,
        directSelectionSettings,
        pdfChoice,
        pendingPDF
    };
    // Closes `closing` one after the other in the order given, then opens `opening` when there is
    // one: every action that puts one sheet in place of the others goes through here.
    void switchSheets(std::initializer_list<Sheet> closing, std::optional<Sheet> opening = std::nullopt);
    // The select-anywhere settings sheet in place of the settings, the capture guide, the importer
    // and the page-range choice (the ways in from the menu, the answer panel and the "direct" URL).
    void openDirectSelectionSettings();

    // Not busy, a source that is not blank, and at most 1,500 characters of untrimmed source.
    bool canSubmit() const;
    // The local file the source names, if it names one.
    std::optional<QUrl> pendingDocumentURL() const;
    // "读取文件内容" for a named document, else the mode's action title.
    QString submitTitle() const;

    // ---- The answer request ----------------------------------------------------------------------
    // Asks the hosted service for an answer to the source, or imports the document it names.
    void submit();
    // Stops the running request or import; its late result is dropped.
    void cancel();
    // Shows an error in the error banner (network failures as the fixed network messages).
    void report(const std::exception& error);
    // The line under an answer: model, seconds with one decimal, and both token counts when the
    // answer has both.
    static QString detailLine(const QString& model, double elapsedSeconds, const tamsel::ModelAnswer& answer);

    // ---- Hand-offs and window actions ------------------------------------------------------------
    void stageInLessonary(const QString& text, tamsel::StudyMode mode,
                          const std::optional<tamsel::ModelAnswer>& existingAnswer, const QString& sourceDescription);
    void reopenHistoryRecord(const LearningRecord& record);
    // Hands the trimmed source to the tutor page; false when it is blank.
    bool stageCurrentSourceForTutor();
    // Loads a text-service request into the compact selection view and submits it.
    void receiveSelection(const halvern::SelectionRequest& request);
    // Leaves the compact selection view; the main window gets its full size back.
    void showFullWorkspace();

    // ---- Input actions ---------------------------------------------------------------------------
    void pasteText();
    void pasteImage();
    void importURL(const QUrl& file);
    // The import after the page-range sheet.
    void importFile(const QUrl& file, std::optional<PageRange> pages);
    void discardPendingPDF();
    void captureScreenText();
    void openDocumentReader();

    // ---- Output actions --------------------------------------------------------------------------
    void clear();
    void copyAnswer();
    void exportAnswer();

Q_SIGNALS:
    void selectionPresentationChanged();
    void tutorHandoffSourceChanged();
    void sourceChanged();
    void modeChanged();
    void languageChanged();
    void modelChanged();
    void maxOutputTokensChanged();
    void reasoningEffortChanged();
    void answerChanged();
    void resultDetailChanged();
    void sourceNoteChanged();
    void statusChanged();
    void errorMessageChanged();
    void isBusyChanged();
    void showImporterChanged();
    void showSettingsChanged();
    void showPrivacyConsentChanged();
    void showAccountLoginChanged();
    void showCaptureGuideChanged();
    void showDirectSelectionSettingsChanged();
    void pdfChoiceChanged();

private:
    struct RequestValues {
        QString source;
        tamsel::StudyMode mode;
        tamsel::AnswerLanguage language;
        QString model;
        int maxOutputTokens;
        tamsel::ReasoningEffort reasoningEffort;
    };
    using ImportOperation = std::function<ImportedText(const base::CancellationToken&)>;

    // Assigns `value` and emits `changed` when it differs; returns whether it did.
    template <typename T>
    bool assign(T& field, const T& value, void (AppStore::*changed)()) {
        if (field == value) return false;
        field = value;
        emit(this->*changed)();
        return true;
    }

    QUuid begin(const QString& message);
    void finish(const QUuid& id, const QString& message);
    void completeError(std::exception_ptr error, const QUuid& id);
    void reportCurrentException();
    void setBusy(bool value);
    // A new handle for the work about to start; an earlier one is replaced without being cancelled.
    base::CancellationToken replaceWork();
    bool isCurrent(const QUuid& id, const base::CancellationToken& cancellation) const;

    QCoro::Task<void> runRequest(QUuid id, double started, RequestValues values, base::CancellationToken cancellation,
                                 std::shared_ptr<tamsel::ResponsesClient> client);
    QCoro::Task<void> runPageCount(QUuid id, QUrl file, base::CancellationToken cancellation);
    QCoro::Task<void> runExtraction(QUuid id, ImportOperation operation, base::CancellationToken cancellation);
    QCoro::Task<void> runCapture(QUuid id, base::CancellationToken cancellation);

    void runImport(const QString& label, ImportOperation operation);
    // Stages a copy of `file` (unless it is one already), extracts its text and removes the copy.
    ImportOperation importFileCopy(const QUrl& file, std::optional<PageRange> pages, bool alreadyStaged) const;
    std::optional<QUrl> clipboardFile() const;
    std::optional<WindowSystem::Window> mainWorkspaceWindow() const;
    // Shows what became of the settings file in the error banner, once per new notice.
    void showSettingsFileNotice();

    AppStoreServices services_;
    base::DefaultsStore& defaults_;
    HistoryStore& history_;

    bool selectionPresentation_ = false;
    std::optional<QString> tutorHandoffSource_;
    QString source_;
    tamsel::StudyMode mode_ = tamsel::StudyMode::explain;
    tamsel::AnswerLanguage language_ = tamsel::AnswerLanguage::simplifiedChinese;
    QString model_;
    int maxOutputTokens_ = tamsel::ResponsesClient::defaultOutputTokens;
    tamsel::ReasoningEffort reasoningEffort_ = tamsel::ReasoningEffort::none;
    std::optional<tamsel::ModelAnswer> answer_;
    QString resultDetail_;
    QString sourceNote_ = initialSourceNote;
    QString status_ = initialStatus;
    std::optional<QString> errorMessage_;
    QString settingsFileNotice_;  // the notice about the settings file shown last
    bool isBusy_ = false;
    bool showImporter_ = false;
    bool showSettings_ = false;
    bool showPrivacyConsent_ = false;
    bool showAccountLogin_ = false;
    bool showCaptureGuide_ = false;
    bool showDirectSelectionSettings_ = false;
    std::optional<PDFChoice> pdfChoice_;
    std::optional<QUrl> pendingStagedPDF_;
    base::OperationIdentifier operation_;
    std::shared_ptr<base::CancellationSource> work_;
};

}  // namespace velquin
