#include "platform/pasteboard.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThreadPool>

#include <QCoroTimer>

#include <xcb/xcb.h>

#include <algorithm>

#include "base/task.h"
#include "platform/x11_clipboard.h"
#include "platform/x11_windows.h"

namespace halvern {

PasteboardContents::~PasteboardContents() = default;
Pasteboard::~Pasteboard() = default;

std::optional<QString> PasteboardContents::string(const QString& type) {
    for (qsizetype item = 0; item < itemCount().value_or(0); ++item) {
        if (!types(item).contains(type)) continue;
        const std::optional<QByteArray> bytes = data(item, type);
        if (!bytes) return std::nullopt;
        return QString::fromUtf8(*bytes);
    }
    return std::nullopt;
}

std::optional<quint64> Pasteboard::owner() { return std::nullopt; }

void Pasteboard::setString(const QString& text) {
    clearContents();
    writeItems({PasteboardItemData{{plainTextType, text.toUtf8()}}});
}

QCoro::Task<> Pasteboard::prepareToWrite() { co_return; }

QCoro::Task<> MemoryPasteboard::read(std::function<void(PasteboardContents&)> reader) {
    reader(*this);
    if (readDelay.count() > 0) co_await QCoro::sleepFor(readDelay);
}

std::optional<qsizetype> MemoryPasteboard::itemCount() {
    if (untold) return std::nullopt;
    return items_.size();
}

bool MemoryPasteboard::holds(const QList<PasteboardItemData>& items) {
    if (itemCount() != items.size()) return false;
    for (qsizetype item = 0; item < items.size(); ++item) {
        const QStringList declared = types(item);
        if (declared.size() != items[item].size()) return false;
        for (auto entry = items[item].cbegin(); entry != items[item].cend(); ++entry)
            if (!declared.contains(entry.key()) || data(item, entry.key()) != entry.value()) return false;
    }
    return true;
}

QStringList MemoryPasteboard::types(qsizetype item) {
    QStringList result;
    if (item < 0 || item >= items_.size()) return result;
    for (const auto& entry : items_[item].entries) result.append(entry.first);
    return result;
}

std::optional<QByteArray> MemoryPasteboard::data(qsizetype item, const QString& type) {
    if (item < 0 || item >= items_.size()) return std::nullopt;
    // A later entry of the same type replaces an earlier one.
    const auto& entries = items_[item].entries;
    for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry)
        if (entry->first == type) return entry->second;
    return std::nullopt;
}

void MemoryPasteboard::changed() {
    ++changeCount_;
    untold = false;
    owner_ = writer;
}

void MemoryPasteboard::clearContents() {
    items_.clear();
    changed();
}

void MemoryPasteboard::writeItems(const QList<PasteboardItemData>& items) {
    if (items.isEmpty()) return;
    for (const PasteboardItemData& data : items) {
        Item item;
        for (auto entry = data.cbegin(); entry != data.cend(); ++entry)
            item.entries.append({entry.key(), entry.value()});
        items_.append(item);
    }
    changed();
}

void MemoryPasteboard::writeRawItems(const QList<Item>& items) {
    items_.append(items);
    changed();
}

// --- the desktop's clipboard

namespace {

// Targets that are no data of their own: the selection protocol's, and ids of the owner's
// resources (a pixmap dies with its owner).
bool isProtocolTarget(const QString& target) {
    static const QStringList targets{
        QStringLiteral("TARGETS"),         QStringLiteral("MULTIPLE"), QStringLiteral("TIMESTAMP"),
        QStringLiteral("SAVE_TARGETS"),    QStringLiteral("DELETE"),   QStringLiteral("INSERT_SELECTION"),
        QStringLiteral("INSERT_PROPERTY"), QStringLiteral("PIXMAP"),   QStringLiteral("BITMAP"),
        QStringLiteral("DRAWABLE"),        QStringLiteral("COLORMAP"), QStringLiteral("WINDOW"),
    };
    return targets.contains(target);
}

// The targets that carry plain text, in the order asked for it, with the character set of each.
struct TextTarget {
    QString name;
    bool latin1;
};
const QList<TextTarget>& textTargets() {
    static const QList<TextTarget> targets{{QStringLiteral("UTF8_STRING"), false},
                                           {Pasteboard::plainTextType, false},
                                           {QStringLiteral("STRING"), true},
                                           {QStringLiteral("TEXT"), true}};
    return targets;
}

// The clipboard as its owner holds it, asked on a connection of its own: one item whose types are
// the targets offered, named as QClipboard names them (so that a restore through it offers the
// same targets again): the string targets are plain text. An owner that refuses or never answers
// the question of its targets tells nothing: nobody but it knows what it holds.
class X11ClipboardContents : public PasteboardContents {
public:
    explicit X11ClipboardContents(std::chrono::steady_clock::time_point deadline) : reader_("CLIPBOARD", deadline) {}

    std::optional<qsizetype> itemCount() override {
        if (!listTargets()) return std::nullopt;
        return types_.isEmpty() ? 0 : 1;
    }

    QStringList types(qsizetype item) override {
        if (item != 0 || !listTargets()) return {};
        return types_;
    }

    std::optional<QByteArray> data(qsizetype item, const QString& type) override {
        if (!types(item).contains(type)) return std::nullopt;
        if (type != Pasteboard::plainTextType) return reader_.data(type, SystemPasteboard::readBytes);
        for (const TextTarget& target : textTargets()) {
            if (!targets_->contains(target.name)) continue;
            QString answered;
            const std::optional<QByteArray> bytes = reader_.data(target.name, SystemPasteboard::readBytes, &answered);
            if (!bytes) return std::nullopt;
            // TEXT comes in a type of the owner's choice.
            const bool latin1 = target.latin1 && answered != QStringLiteral("UTF8_STRING");
            return latin1 ? QString::fromLatin1(*bytes).toUtf8() : *bytes;
        }
        return std::nullopt;
    }

private:
    // Asks the owner for its targets once; whether it told them (none where nobody owns the
    // clipboard).
    bool listTargets() {
        if (!asked_) {
            asked_ = true;
            targets_ = reader_.targets();
            for (const QString& target : targets_.value_or(QStringList())) {
                if (isProtocolTarget(target)) continue;
                const bool text = std::any_of(textTargets().cbegin(), textTargets().cend(),
                                              [&target](const TextTarget& each) { return each.name == target; });
                const QString type = text ? Pasteboard::plainTextType : target;
                if (!types_.contains(type)) types_.append(type);
            }
        }
        return targets_.has_value();
    }

    x11::SelectionReader reader_;
    bool asked_ = false;
    std::optional<QStringList> targets_;
    QStringList types_;
};

// A clipboard that cannot be watched: what it holds goes untold, so no backup takes it.
class UnreadableContents : public PasteboardContents {
public:
    std::optional<qsizetype> itemCount() override { return std::nullopt; }
    QStringList types(qsizetype) override { return {}; }
    std::optional<QByteArray> data(qsizetype, const QString&) override { return std::nullopt; }
};

// The reads of the clipboard, one after another on a thread of their own, so that an owner that
// answers slowly holds up neither the main thread nor the shared pool.
base::WorkScheduler& clipboardReaders() {
    static base::QtWorkScheduler* scheduler = [] {
        auto* pool = new QThreadPool;
        pool->setMaxThreadCount(1);
        return new base::QtWorkScheduler(pool);
    }();
    return *scheduler;
}

// Counts the events of the time probe window as Qt takes them in; Qt has taken each one's time as
// the time of its connection by the time the event loop turns again.
class ServerTimeEvents : public QAbstractNativeEventFilter {
public:
    static ServerTimeEvents& installed() {
        static ServerTimeEvents* events = [] {
            auto* filter = new ServerTimeEvents;
            qGuiApp->installNativeEventFilter(filter);
            return filter;
        }();
        return *events;
    }

    quint64 count() const { return count_; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            reinterpret_cast<const xcb_property_notify_event_t*>(event)->window == x11::timeProbeWindow())
            ++count_;
        return false;
    }

private:
    quint64 count_ = 0;
};

// How long the server's time may take to come back, and how often it is looked for meanwhile.
constexpr std::chrono::milliseconds serverTimeWait{500};
constexpr std::chrono::milliseconds serverTimePause{2};

}  // namespace

SystemPasteboard& SystemPasteboard::shared() {
    static SystemPasteboard* pasteboard = new SystemPasteboard;
    return *pasteboard;
}

qint64 SystemPasteboard::changeCount() {
    const std::optional<x11::ClipboardClaims::State> state = x11::ClipboardClaims::shared().now();
    return state ? state->claims : 0;
}

std::optional<quint64> SystemPasteboard::owner() {
    const std::optional<x11::ClipboardClaims::State> state = x11::ClipboardClaims::shared().now();
    if (!state) return std::nullopt;
    if (!state->owner) return nobody;
    if (x11::madeByThisProgram(state->owner)) return thisProgram;
    return x11::windowProcess(state->owner).value_or(unnamed);
}

QCoro::Task<> SystemPasteboard::read(std::function<void(PasteboardContents&)> reader) {
    if (!x11::ClipboardClaims::shared().now()) {
        UnreadableContents unreadable;
        reader(unreadable);
        co_return;
    }
    const auto deadline = std::chrono::steady_clock::now() + readTimeout;
    // A named local: GCC 12 destroys temporaries of an awaited expression twice.
    auto reading = base::runBlocking(clipboardReaders(), [reader = std::move(reader), deadline] {
        X11ClipboardContents contents(deadline);
        reader(contents);
    });
    co_await std::move(reading);
}

QCoro::Task<> SystemPasteboard::prepareToWrite() {
    if (!x11::available()) co_return;
    ServerTimeEvents& events = ServerTimeEvents::installed();
    const quint64 before = events.count();
    if (!x11::requestServerTime()) co_return;
    // Waits on the event loop, which hands Qt the event; without it in time the write goes ahead
    // with the time Qt has, and the check of the restore tells whether it took.
    for (auto waited = std::chrono::milliseconds(0); events.count() == before && waited < serverTimeWait;
         waited += serverTimePause)
        co_await QCoro::sleepFor(serverTimePause);
}

bool SystemPasteboard::holds(const QList<PasteboardItemData>& items) {
    const std::optional<x11::ClipboardClaims::State> state = x11::ClipboardClaims::shared().now();
    if (!state) return false;
    if (items.isEmpty()) return state->owner == 0;
    if (!x11::madeByThisProgram(state->owner) || !written_) return false;
    // Compared with what Qt serves from here: asking QClipboard could end in another program.
    const PasteboardItemData& item = items.first();
    if (written_->formats().size() != item.size()) return false;
    for (auto entry = item.cbegin(); entry != item.cend(); ++entry)
        if (!written_->hasFormat(entry.key()) || written_->data(entry.key()) != entry.value()) return false;
    return true;
}

void SystemPasteboard::clearContents() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

void SystemPasteboard::writeItems(const QList<PasteboardItemData>& items) {
    // The clipboard holds one item; a backup taken from it never has more.
    if (items.isEmpty()) return;
    auto* mime = new QMimeData;
    for (auto entry = items.first().cbegin(); entry != items.first().cend(); ++entry)
        mime->setData(entry.key(), entry.value());
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    written_ = mime;
}

}  // namespace halvern
