#include "app/tutor-lesson/merid_math_web_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/tutor-lesson/merid_math_views.h"

namespace velquin {

namespace {

// What the program gave when it opened the module.
const MeridMathHost* host = nullptr;

// Font sizes the page is given.
constexpr qreal minimumFontSize = 11;
constexpr qreal maximumFontSize = 30;

// The page background for the appearance and card: six upper-case hexadecimal digits.
QString backgroundHex(bool dark, bool reminderCard) {
    if (reminderCard) return dark ? QStringLiteral("4A302A") : QStringLiteral("F9E5D9");
    return dark ? QStringLiteral("2B2825") : QStringLiteral("FFFDF8");
}

// The shortest decimal that reads back as `value`, with ".0" after a whole number (14 -> "14.0").
QString decimal(qreal value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
    if (result.ec != std::errc()) return QString::number(value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (std::isfinite(value) && !text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

// What identifies one render: the text, the font size as given, the appearance and the background,
// joined with NUL. The same key twice means the page already shows it.
QString renderKey(const QString& text, qreal fontSize, bool dark, const QString& backgroundHex) {
    const QChar nul(u'\0');
    return text + nul + decimal(fontSize) + nul + (dark ? QStringLiteral("true") : QStringLiteral("false")) + nul +
           backgroundHex;
}

// `text` as a JSON string literal that is also a valid JavaScript string literal (the line and
// paragraph separators escaped); none when it cannot be encoded.
std::optional<QString> jsonStringLiteral(const QString& text) {
    // Lone surrogates have no UTF-8 form: refuse them rather than send a changed text.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) return std::nullopt;
    }
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    if (json.size() < 4 || !json.startsWith("[\"") || !json.endsWith("\"]")) return std::nullopt;
    QString literal = QString::fromUtf8(json.mid(1, json.size() - 2));
    // Valid in JSON as they stand, but older script engines end a string literal at them.
    literal.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    literal.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return literal;
}

// The script that calls the page: window.meridRender(<text>,<size>,<dark>,"#<background>");
// with the size clamped to 11..30 and no spaces. None when the text cannot be encoded.
std::optional<QString> renderScript(const QString& text, qreal fontSize, bool dark, const QString& backgroundHex) {
    const std::optional<QString> literal = jsonStringLiteral(text);
    if (!literal) return std::nullopt;
    // NaN compares false both ways: it takes the smallest size.
    const qreal size = fontSize >= minimumFontSize ? std::min(fontSize, maximumFontSize) : minimumFontSize;
    return QStringLiteral("window.meridRender(") + *literal + QLatin1Char(',') + decimal(size) + QLatin1Char(',') +
           (dark ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral(",\"#") + backgroundHex +
           QStringLiteral("\");");
}

// Refuses every request but the files of the formula folder (and the page's own data: URLs).
class FolderOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (url.scheme() == QLatin1String("data")) return;
        const std::optional<QString> folder = host->directory();
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
        const std::optional<QString> page = host->pagePath();
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
        if (host->sandboxDisabled) addFlag("--no-zygote", "--no-zygote");
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
        // The engine lists its start parameters and graphics backend at the info level; a person's
        // QT_LOGGING_RULES still decide.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
        previousMessageHandler = qInstallMessageHandler(dropEngineStartNotices);
        // Each view composes its page in a scene of its own: in software that costs a frame buffer,
        // on the graphics path a GL context per view (about 1.5 MB more each, measured with a
        // lesson of 30 formula texts). Before the first view; a backend chosen in the environment stays.
        if (host->composedInSoftware) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
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

    if (const std::optional<QString> path = host->pagePath()) page->load(QUrl::fromLocalFile(*path));
}

void MeridMathWebView::setContent(const QString& text, qreal fontSize, bool dark, bool reminderCard) {
    text_ = text;
    fontSize_ = fontSize;
    dark_ = dark;
    reminderCard_ = reminderCard;
    page()->setBackgroundColor(QColor(QLatin1Char('#') + backgroundHex(dark, reminderCard)));
    applyIfNeeded();
}

void MeridMathWebView::applyIfNeeded() {
    if (!ready_) return;
    const QString background = backgroundHex(dark_, reminderCard_);
    const QString key = renderKey(text_, fontSize_, dark_, background);
    if (lastSent_ == key) return;
    // Recorded first: a text that cannot be encoded is not tried again until something changes.
    lastSent_ = key;
    const std::optional<QString> script = renderScript(text_, fontSize_, dark_, background);
    if (!script) return;
    lastScript_ = script;
    ++renderCalls_;
    page()->runJavaScript(*script);
}

namespace {

// What the program reaches through the module's entry.
QWidget* createView(QWidget* parent, std::function<void(const QVariant&)> onHeight,
                    std::function<void(const QVariant&)> onWheel) {
    auto* view = new MeridMathWebView(parent);
    QObject::connect(view, &MeridMathWebView::heightMessage, view, std::move(onHeight));
    QObject::connect(view, &MeridMathWebView::wheelMessage, view, std::move(onWheel));
    return view;
}

void setViewContent(QWidget* view, const QString& text, qreal fontSize, bool dark, bool reminderCard) {
    static_cast<MeridMathWebView*>(view)->setContent(text, fontSize, dark, reminderCard);
}

}  // namespace

}  // namespace velquin

extern "C" const velquin::MeridMathViews* orvel_merid_math_views_v2(const velquin::MeridMathHost* given) {
    if (!velquin::host) velquin::host = given;
    static const velquin::MeridMathViews views{&velquin::createView, &velquin::setViewContent};
    return &views;
}

#include "merid_math_web_view.moc"
