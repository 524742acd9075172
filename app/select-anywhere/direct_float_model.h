#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QUuid>

#include <QCoroTask>

#include <exception>
#include <memory>
#include <optional>

#include "app/shell/app_store_services.h"
#include "base/cancellation.h"
#include "base/work_scheduler.h"
#include "core/direct_selection_rules.h"
#include "core/responses_client.h"

namespace velquin {

class HistoryStore;

// Everything the answer model is built over. Empty members get the production implementation.
struct DirectFloatServices {
    base::DefaultsStore* defaults = nullptr;  // null: the standard store
    HistoryStore* history = nullptr;          // null: the shared history, reading the keyring
    std::shared_ptr<base::WorkScheduler> scheduler;  // runs the keyring reads away from the main thread
    std::shared_ptr<Clock> clock;
    std::shared_ptr<Clipboard> clipboard;
    std::shared_ptr<SessionTokenSource> sessionToken;
    // null: a client of the configured service that reads the consent from `defaults`.
    std::shared_ptr<tamsel::ResponsesClient> client;

    DirectFloatServices completed() const;
};

// The state and the request behind the floating answer panel: the selected text, its study mode,
// the answer or the message shown instead, and a one-line status. Asks the hosted service once per
// request, answers an identical request of the last 120 seconds from memory (at most 30 answers,
// forgotten when the session token changes) and adds every fresh answer to the learning history.
// Its texts are Chinese and stored as they stand; the view translates them.
//
// A request is one job: every request and every cancel replaces the job's id, and a running job
// whose id is no longer current drops its result without a word. The session token is read twice
// per network job, before and after the request, away from the main thread; an answer that comes
// back under another token (a sign-out or another account meanwhile) is neither shown, cached nor
// recorded. Main thread only.
class DirectFloatModel : public QObject {
    Q_OBJECT
public:
    // String: the study mode a selection is first asked in ("translate", "explain", "practice").
    static inline const QString modeKey = QStringLiteral("nativeSelectionMode");
    static constexpr double cacheLifetime = 120.0;  // seconds
    static constexpr qsizetype cacheCapacity = 30;

    // With `offlineFixture`, every valid text gets a fixed local answer, without a token or the network.
    explicit DirectFloatModel(DirectFloatServices services = {}, bool offlineFixture = false,
                              QObject* parent = nullptr);
    ~DirectFloatModel() override;

    // The text as it was handed over (untrimmed); empty after showError.
    const QString& text() const { return text_; }
    const QString& sourceApp() const { return sourceApp_; }
    tamsel::StudyMode mode() const { return mode_; }
    const std::optional<tamsel::ModelAnswer>& answer() const { return answer_; }
    const std::optional<QString>& error() const { return error_; }
    const QString& detail() const { return detail_; }
    bool isBusy() const { return isBusy_; }
    bool isLocalPreview() const { return isLocalPreview_; }
    // Requests that passed the local-preview guard, and requests that went to the network.
    int requestCount() const { return requestCount_; }
    int networkRequestCount() const { return networkRequestCount_; }

    // Asks about `text` in `mode` (none: the stored study mode) under the rule `policy`.
    void present(const QString& text, const QString& appName, std::optional<tamsel::StudyMode> mode = std::nullopt,
                 tamsel::SelectionTextPolicy policy = tamsel::SelectionTextPolicy::automatic);
    // Shows the text itself; nothing is requested until the next `present`.
    void preview(const QString& text, const QString& appName);
    // Shows `message` instead of an answer, without text; the modes show `mode` when one is given
    // (the one a refused request asked for), else the mode they showed.
    void showError(const QString& message, const QString& appName,
                   std::optional<tamsel::StudyMode> mode = std::nullopt);
    // Starts a request for the current text; `force` skips the cache (the retry button).
    void request(bool force);
    // Another mode asks again; the current one does nothing.
    void changeMode(tamsel::StudyMode mode);
    // Stops the running request; its result is dropped when it comes.
    void cancel();
    // Puts the answer on the clipboard.
    void copy();

Q_SIGNALS:
    // Some of the state above changed.
    void changed();

private:
    struct Cached {
        tamsel::ModelAnswer answer;
        double date = 0;
    };
    struct Job {
        QUuid id;
        bool force = false;
        tamsel::DirectAnswerKey key;
        double started = 0;
        base::CancellationToken cancellation;
    };

    QCoro::Task<void> run(Job job);
    QCoro::Task<std::optional<QString>> loadCredential();
    bool isCurrent(const Job& job) const;
    // Ends a current job with the message of `error`; a superseded one says nothing.
    void fail(const Job& job, std::exception_ptr error);
    void store(const tamsel::DirectAnswerKey& key, const tamsel::ModelAnswer& answer);

    DirectFloatServices services_;
    base::DefaultsStore& defaults_;
    HistoryStore& history_;
    const bool offlineFixture_;

    QString text_;
    QString sourceApp_;
    tamsel::StudyMode mode_ = tamsel::StudyMode::translate;
    std::optional<tamsel::ModelAnswer> answer_;
    std::optional<QString> error_;
    QString detail_;
    bool isBusy_ = false;
    bool isLocalPreview_ = false;

    QUuid jobID_ = QUuid::createUuid();
    std::shared_ptr<base::CancellationSource> work_;
    tamsel::SelectionTextPolicy inputPolicy_ = tamsel::SelectionTextPolicy::automatic;
    int requestCount_ = 0;
    int networkRequestCount_ = 0;
    QHash<tamsel::DirectAnswerKey, Cached> cache_;
    std::optional<QString> cacheCredential_;
};

}  // namespace velquin
