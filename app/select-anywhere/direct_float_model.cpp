#include "app/select-anywhere/direct_float_model.h"

#include <QPointer>

#include "app/account/history_store.h"
#include "app/account/session_keyring.h"
#include "base/errors.h"
#include "base/task.h"
#include "core/consent.h"
#include "net/http.h"

namespace velquin {

using tamsel::ModelAnswer;
using tamsel::StudyMode;

namespace {

const QString notSentDetail = QStringLiteral("未发送文字");
const QString failedDetail = QStringLiteral("未完成");
const QString stoppedDetail = QStringLiteral("已停止");
const QString networkMessage = QStringLiteral("网络请求未完成，请检查网络后重试。");
const QString accountChangedMessage = QStringLiteral("账户已变化，请重新划词。");
const QString consentMessage = QStringLiteral("请先在设置中同意：所选文字会发送至第三方 AI 服务处理。");
const QString offlineAnswer = QStringLiteral("离线窗口回归测试结果");

// (Inside the coroutines of this file, every awaited object is a named local first: g++ 12 may
// destroy the captures of a temporary awaited in place twice.)

// The message of a failed request: every failure of the network itself reads the same.
QString messageOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const net::NetworkError&) {
        return networkMessage;
    } catch (...) {
        return base::messageOf(error);
    }
}

}  // namespace

DirectFloatServices DirectFloatServices::completed() const {
    DirectFloatServices services = *this;
    if (!services.defaults) services.defaults = &base::DefaultsStore::standard();
    if (!services.history) services.history = &sharedHistoryWithKeychain();
    if (!services.scheduler) services.scheduler = std::make_shared<base::QtWorkScheduler>();
    if (!services.clock) services.clock = std::make_shared<SteadyClock>();
    if (!services.clipboard) services.clipboard = std::make_shared<SystemClipboard>();
    if (!services.sessionToken) services.sessionToken = makeKeychainTokenSource();
    if (!services.client) {
        tamsel::ResponsesClient::Options options;
        options.defaults = services.defaults;
        services.client = std::make_shared<tamsel::ResponsesClient>(nullptr, options);
    }
    return services;
}

DirectFloatModel::DirectFloatModel(DirectFloatServices services, bool offlineFixture, QObject* parent)
    : QObject(parent),
      services_(services.completed()),
      defaults_(*services_.defaults),
      history_(*services_.history),
      offlineFixture_(offlineFixture) {}

DirectFloatModel::~DirectFloatModel() {
    if (work_) work_->cancel();
}

// ---- Operations ----------------------------------------------------------------------------------

void DirectFloatModel::present(const QString& text, const QString& appName, std::optional<StudyMode> mode,
                               tamsel::SelectionTextPolicy policy) {
    isLocalPreview_ = false;
    inputPolicy_ = policy;
    text_ = text;
    sourceApp_ = appName;
    if (!mode) mode = base::fromRawValue<StudyMode>(defaults_.string(modeKey));
    mode_ = mode.value_or(StudyMode::translate);
    request(false);
    emit changed();
}

void DirectFloatModel::preview(const QString& text, const QString& appName) {
    cancel();
    text_ = text;
    sourceApp_ = appName;
    error_.reset();
    answer_.reset();
    isLocalPreview_ = true;
    detail_ = QStringLiteral("仅本机显示 · 未调用 Orvel AI");
    emit changed();
}

void DirectFloatModel::showError(const QString& message, const QString& appName, std::optional<StudyMode> mode) {
    cancel();
    isLocalPreview_ = false;
    text_.clear();
    sourceApp_ = appName;
    if (mode) mode_ = *mode;
    error_ = message;
    answer_.reset();
    detail_ = notSentDetail;
    emit changed();
}

void DirectFloatModel::changeMode(StudyMode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    request(false);
    emit changed();
}

void DirectFloatModel::cancel() {
    if (isBusy_) detail_ = stoppedDetail;
    jobID_ = QUuid::createUuid();
    if (const auto running = std::exchange(work_, nullptr)) running->cancel();
    isBusy_ = false;
    emit changed();
}

void DirectFloatModel::copy() {
    if (!answer_) return;
    services_.clipboard->replaceWithString(answer_->text);
    detail_ = QStringLiteral("已复制答案");
    emit changed();
}

void DirectFloatModel::request(bool force) {
    if (isLocalPreview_) return;
    ++requestCount_;
    cancel();
    error_.reset();
    answer_.reset();

    QString validated;
    try {
        validated = tamsel::validated(inputPolicy_, text_);
    } catch (const base::Error& refusal) {
        error_ = refusal.message();
        detail_ = notSentDetail;
        emit changed();
        return;
    }
    if (offlineFixture_) {
        answer_ = ModelAnswer{offlineAnswer, std::nullopt, std::nullopt, std::nullopt};
        detail_ = QStringLiteral("离线测试 · 未读取密钥 · 未连接网络");
        emit changed();
        return;
    }
    if (!tamsel::AIPrivacyConsent::isGranted(defaults_)) {
        error_ = consentMessage;
        detail_ = notSentDetail;
        emit changed();
        return;
    }

    // The settings of this moment: a missing or unusable value falls back to its default.
    const auto language = base::fromRawValue<tamsel::AnswerLanguage>(defaults_.string(QStringLiteral("answerLanguage")))
                              .value_or(tamsel::AnswerLanguage::simplifiedChinese);
    const qint64 storedLimit = defaults_.integer(QStringLiteral("maxOutputTokens"));
    const int outputLimit = tamsel::ResponsesClient::isValidOutputLimit(storedLimit)
                                ? int(storedLimit)
                                : tamsel::ResponsesClient::defaultOutputTokens;
    const auto effort = base::fromRawValue<tamsel::ReasoningEffort>(defaults_.string(QStringLiteral("reasoningEffort")))
                            .value_or(tamsel::ReasoningEffort::none);

    Job job;
    job.key = tamsel::DirectAnswerKey{validated, mode_, language, tamsel::ResponsesClient::defaultModel, outputLimit,
                                      effort};
    job.force = force;
    job.id = jobID_ = QUuid::createUuid();
    work_ = std::make_shared<base::CancellationSource>();
    job.cancellation = work_->token();
    isBusy_ = true;
    detail_ = QStringLiteral("只发送选中文字 · 正在") + tamsel::title(mode_) + QStringLiteral("…");
    job.started = services_.clock->now();
    emit changed();
    base::detach(run(std::move(job)));
}

// ---- The request ----------------------------------------------------------------------------------

bool DirectFloatModel::isCurrent(const Job& job) const { return job.id == jobID_ && !job.cancellation.isCancelled(); }

QCoro::Task<std::optional<QString>> DirectFloatModel::loadCredential() {
    auto tokenSource = services_.sessionToken;
    // The keyring may block (or ask to be unlocked): it is read away from the main thread.
    auto pending = base::runBlocking(*services_.scheduler, [tokenSource]() { return tokenSource->load(); });
    co_return co_await pending;
}

QCoro::Task<void> DirectFloatModel::run(Job job) {
    QPointer<DirectFloatModel> guard(this);

    std::optional<QString> credential;
    try {
        auto loading = loadCredential();
        credential = co_await loading;
        if (!credential || credential->isEmpty())
            throw tamsel::StudyError(tamsel::StudyError::Case::missingKey);
    } catch (...) {
        if (guard) fail(job, std::current_exception());
        co_return;
    }
    if (!guard || !isCurrent(job)) co_return;

    if (cacheCredential_ != credential) {
        cache_.clear();
        cacheCredential_ = credential;
    }
    if (!job.force) {
        const auto cached = cache_.constFind(job.key);
        if (cached != cache_.constEnd() && services_.clock->now() - cached->date < cacheLifetime) {
            // Served from memory: no request, and the history already holds it.
            answer_ = cached->answer;
            isBusy_ = false;
            work_.reset();
            detail_ = QStringLiteral("使用刚才的结果 · 未重复请求");
            emit changed();
            co_return;
        }
    }

    ++networkRequestCount_;
    ModelAnswer result;
    std::optional<QString> laterCredential;
    try {
        const tamsel::DirectAnswerKey& key = job.key;
        auto asking = services_.client->answer(key.text, key.mode, key.language, *credential, key.model,
                                               key.outputLimit, key.effort, job.cancellation);
        result = co_await asking;
        if (!guard || !isCurrent(job)) co_return;
        auto reloading = loadCredential();
        laterCredential = co_await reloading;
    } catch (...) {
        if (guard) fail(job, std::current_exception());
        co_return;
    }
    if (!guard || !isCurrent(job)) co_return;

    if (laterCredential != credential) {
        // Signed out or another account while the answer was on its way: it is not this user's.
        cancel();
        error_ = accountChangedMessage;
        emit changed();
        co_return;
    }
    store(job.key, result);
    answer_ = result;
    // Shown with the answer when the history did not take it: the panel is where the person looks.
    if (!history_.add(job.key.text, result.text, base::rawValue(job.key.mode))) error_ = history_.statusMessage();
    isBusy_ = false;
    work_.reset();
    detail_ = QStringLiteral("Orvel AI · ") + QString::asprintf("%.1f", services_.clock->now() - job.started) +
              QStringLiteral(" 秒");
    emit changed();
}

void DirectFloatModel::store(const tamsel::DirectAnswerKey& key, const ModelAnswer& answer) {
    if (cache_.size() >= cacheCapacity) {
        auto earliest = cache_.begin();
        for (auto entry = cache_.begin(); entry != cache_.end(); ++entry)
            if (entry->date < earliest->date) earliest = entry;
        cache_.erase(earliest);
    }
    cache_.insert(key, Cached{answer, services_.clock->now()});
}

void DirectFloatModel::fail(const Job& job, std::exception_ptr error) {
    if (!isCurrent(job)) return;
    isBusy_ = false;
    work_.reset();
    error_ = messageOf(error);
    detail_ = failedDetail;
    emit changed();
}

}  // namespace velquin
