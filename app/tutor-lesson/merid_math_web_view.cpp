#include "app/tutor-lesson/merid_math_web_view.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDir>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QFile>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include <cstdio>

#include "app/tutor-lesson/merid_math_assets.h"
#include "app/tutor-lesson/merid_math_bridge.h"
#include "app/tutor-lesson/merid_math_views.h"

namespace velquin {

namespace {

// Refuses every request but the files of the formula folder (and the page's own data: URLs).
class FolderOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (url.scheme() == QLatin1String("data")) return;
        const std::optional<QString> folder = MeridMathAssets::directory();
        if (url.isLocalFile() && folder) {
            const QString path = QDir::cleanPath(url.toLocalFile());
            if (path.startsWith(*folder + QLatin1Char('/'))) return;
        }
        info.block(true);
    }
};

// The engine's start says on standard error that it has no graphics backend (the pages are composed
// in software on purpose) and, as the super-user, that its sandbox is off (the program said so at
// its own start). Those two lines are dropped; every other message goes where it went before.
QtMessageHandler previousMessageHandler = nullptr;

void dropEngineStartNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QString text = message.trimmed();
    if (text == QLatin1String("No suitable graphics backend found") ||
        text == QLatin1String("Sandboxing disabled by user."))
        return;
    if (previousMessageHandler)
        previousMessageHandler(type, context, message);
    else
        std::fputs(qFormatLogMessage(type, context, message).append(u'\n').toLocal8Bit().constData(), stderr);
}

// The page: navigates only to the formula page itself and about:blank, and opens no windows.
class MeridMathPage : public QWebEnginePage {
public:
    MeridMathPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (url == QUrl(QStringLiteral("about:blank"))) return true;
        const std::optional<QString> page = MeridMathAssets::pagePath();
        return page && url.isLocalFile() && url.adjusted(QUrl::RemoveFragment) == QUrl::fromLocalFile(*page);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}
};

// What the page may call: its two messages, nothing else.
class MeridMathChannelObject : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public Q_SLOTS:
    void meridHeight(const QVariant& body) { Q_EMIT height(body); }
    void meridWheel(const QVariant& body) { Q_EMIT wheel(body); }

Q_SIGNALS:
    void height(const QVariant& body);
    void wheel(const QVariant& body);
};

QString webChannelScript() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

}  // namespace

QWebEngineProfile* MeridMathWebView::sharedProfile() {
    static QWebEngineProfile* profile = [] {
        // Every formula page is the same local site: one renderer process serves all of them
        // instead of one per view. Each page runs a few milliseconds of script once per text, so
        // the script engine runs without its optimising compilers, which takes about 2 MB off every
        // page. Read when the web engine starts, which the first profile does.
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        const auto addFlag = [&flags](const QByteArray& flag, const QByteArray& unlessPresent) {
            if (flags.contains(unlessPresent)) return;
            flags.append(flags.isEmpty() ? "" : " ").append(flag);
        };
        addFlag("--process-per-site", "--process-per-site");
        // Lite mode runs without the compilers WebAssembly needs; switched off here too, it is not
        // switched off again with a warning on standard error. A tab parts the two, because the
        // engine splits this variable at spaces and the script engine its flags at any white space.
        addFlag("--js-flags=--lite-mode\t--no-expose-wasm", "--js-flags");
        // The engine forks its renderers from two helper processes kept for the sandbox; without
        // the sandbox it starts the one renderer itself, which saves both helpers (about 17 MB).
        if (MeridMathViews::sandboxDisabled()) addFlag("--no-zygote", "--no-zygote");
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
        // The engine lists its start parameters and graphics backend at the info level; a person's
        // QT_LOGGING_RULES still decide.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
        previousMessageHandler = qInstallMessageHandler(dropEngineStartNotices);
        // Each view composes its page in a scene of its own: in software that costs a frame buffer,
        // on the graphics path a GL context per view (about 1.5 MB more each, measured with a
        // lesson of 30 formula texts). Before the first view; a backend chosen in the environment stays.
        if (MeridMathViews::composedInSoftware()) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        // Without a storage name the profile is off the record: nothing reaches the disk.
        auto* made = new QWebEngineProfile(QCoreApplication::instance());
        made->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        made->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        made->setSpellCheckEnabled(false);
        made->setUrlRequestInterceptor(new FolderOnlyInterceptor(made));
        QWebEngineSettings* settings = made->settings();
        settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
        settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
        settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
        settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
        settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
        // The channel's client script, in the page's own world before its scripts run.
        QWebEngineScript channel;
        channel.setName(QStringLiteral("qwebchannel"));
        channel.setSourceCode(webChannelScript());
        channel.setInjectionPoint(QWebEngineScript::DocumentCreation);
        channel.setWorldId(QWebEngineScript::MainWorld);
        channel.setRunsOnSubFrames(false);
        made->scripts()->insert(channel);
        return made;
    }();
    return profile;
}

MeridMathWebView::MeridMathWebView(QWidget* parent) : QWebEngineView(parent) {
    auto* page = new MeridMathPage(sharedProfile(), this);
    auto* channel = new QWebChannel(page);
    auto* object = new MeridMathChannelObject(channel);
    channel->registerObject(QStringLiteral("merid"), object);
    page->setWebChannel(channel);
    setPage(page);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAccessibleName(QStringLiteral("MERID mathematical expression"));

    // Handled after the message's own delivery, so the owner's state changes outside it.
    connect(object, &MeridMathChannelObject::height, this, &MeridMathWebView::heightMessage, Qt::QueuedConnection);
    connect(object, &MeridMathChannelObject::wheel, this, &MeridMathWebView::wheelMessage, Qt::QueuedConnection);
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        // A refused navigation also ends in a failed load: only a real load counts.
        if (!ok) return;
        ready_ = true;
        lastSent_.reset();
        applyIfNeeded();
    });

    if (const std::optional<QString> path = MeridMathAssets::pagePath(); path && MeridMathAssets::available())
        page->load(QUrl::fromLocalFile(*path));
}

void MeridMathWebView::setContent(const QString& text, qreal fontSize, bool dark, bool reminderCard) {
    text_ = text;
    fontSize_ = fontSize;
    dark_ = dark;
    reminderCard_ = reminderCard;
    page()->setBackgroundColor(QColor(QLatin1Char('#') + MeridMathBridge::backgroundHex(dark, reminderCard)));
    applyIfNeeded();
}

void MeridMathWebView::applyIfNeeded() {
    if (!ready_) return;
    const QString background = MeridMathBridge::backgroundHex(dark_, reminderCard_);
    const QString key = MeridMathBridge::renderKey(text_, fontSize_, dark_, background);
    if (lastSent_ == key) return;
    // Recorded first: a text that cannot be encoded is not tried again until something changes.
    lastSent_ = key;
    const std::optional<QString> script = MeridMathBridge::renderScript(text_, fontSize_, dark_, background);
    if (!script) return;
    lastScript_ = script;
    ++renderCalls_;
    page()->runJavaScript(*script);
}

void MeridMathWebView::wheelMessage(const QVariant& body) {
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        auto* area = qobject_cast<QAbstractScrollArea*>(ancestor);
        if (!area) continue;
        QScrollBar* bar = area->verticalScrollBar();
        // Moved as the student's own scrolling is (the bar's slider action), not set from the program.
        if (const std::optional<int> position = MeridMathBridge::wheelPosition(body, bar->value(), bar->maximum()))
            bar->setSliderPosition(*position);
        return;
    }
}

namespace {

// What the program reaches through the module's entry.
class WebMathViews final : public MeridMathViews {
public:
    QWidget* create(QWidget* parent, std::function<void(const QVariant&)> onHeight) const override {
        auto* view = new MeridMathWebView(parent);
        QObject::connect(view, &MeridMathWebView::heightMessage, view, std::move(onHeight));
        return view;
    }
    void setContent(QWidget* view, const QString& text, qreal fontSize, bool dark, bool reminderCard) const override {
        static_cast<MeridMathWebView*>(view)->setContent(text, fontSize, dark, reminderCard);
    }
};

}  // namespace

}  // namespace velquin

extern "C" const velquin::MeridMathViews* orvel_merid_math_views_v1() {
    static const velquin::WebMathViews views;
    return &views;
}

#include "merid_math_web_view.moc"
