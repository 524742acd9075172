#include "platform/pasteboard.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <QCoroTimer>

#include <xcb/xcb.h>

#include "platform/x11_windows.h"

namespace halvern {

Pasteboard::~Pasteboard() = default;

std::optional<QString> Pasteboard::string(const QString& type) {
    for (qsizetype item = 0; item < itemCount(); ++item) {
        if (!types(item).contains(type)) continue;
        const std::optional<QByteArray> bytes = data(item, type);
        if (!bytes) return std::nullopt;
        return QString::fromUtf8(*bytes);
    }
    return std::nullopt;
}

void Pasteboard::setString(const QString& text) {
    clearContents();
    writeItems({PasteboardItemData{{plainTextType, text.toUtf8()}}});
}

QCoro::Task<> Pasteboard::prepareToWrite() { co_return; }

bool Pasteboard::holds(const QList<PasteboardItemData>& items) {
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

void MemoryPasteboard::clearContents() {
    items_.clear();
    ++changeCount_;
}

void MemoryPasteboard::writeItems(const QList<PasteboardItemData>& items) {
    if (items.isEmpty()) return;
    for (const PasteboardItemData& data : items) {
        Item item;
        for (auto entry = data.cbegin(); entry != data.cend(); ++entry)
            item.entries.append({entry.key(), entry.value()});
        items_.append(item);
    }
    ++changeCount_;
}

void MemoryPasteboard::writeRawItems(const QList<Item>& items) {
    items_.append(items);
    ++changeCount_;
}

// --- the desktop's clipboard

namespace {

// Targets of the selection protocol itself, which are not data.
bool isProtocolTarget(const QString& type) {
    static const QStringList targets{QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"),
                                     QStringLiteral("TIMESTAMP"), QStringLiteral("SAVE_TARGETS")};
    return targets.contains(type);
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

SystemPasteboard::SystemPasteboard() {
    ownerAtLastSignal_ = currentOwner();
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode != QClipboard::Clipboard) return;
        ++changedSignals_;
        ownerAtLastSignal_ = currentOwner();
    });
}

quint64 SystemPasteboard::currentOwner() const { return x11::clipboardOwner(); }

qint64 SystemPasteboard::changeCount() {
    // Qt reports another program's copy only when its event arrives, which can lag behind; an
    // owner that differs from the one seen at the last report is a change already made.
    return changedSignals_ + (currentOwner() != ownerAtLastSignal_ ? 1 : 0);
}

qsizetype SystemPasteboard::itemCount() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    return mime && !types(0).isEmpty() ? 1 : 0;
}

QStringList SystemPasteboard::types(qsizetype item) {
    QStringList result;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (item != 0 || !mime) return result;
    for (const QString& type : mime->formats())
        if (!isProtocolTarget(type)) result.append(type);
    return result;
}

std::optional<QByteArray> SystemPasteboard::data(qsizetype item, const QString& type) {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (item != 0 || !mime || !mime->hasFormat(type)) return std::nullopt;
    QByteArray bytes = mime->data(type);
    if (bytes.isNull()) return std::nullopt;
    return bytes;
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
    const x11::WindowId owner = x11::clipboardOwner();
    if (items.isEmpty()) return x11::available() ? owner == 0 : itemCount() == 0;
    if (x11::available() && !x11::madeByThisProgram(owner)) return false;
    return Pasteboard::holds(items);
}

void SystemPasteboard::clearContents() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

void SystemPasteboard::writeItems(const QList<PasteboardItemData>& items) {
    // The clipboard holds one item; a backup taken from it never has more.
    if (items.isEmpty()) return;
    auto* mime = new QMimeData;
    for (auto entry = items.first().cbegin(); entry != items.first().cend(); ++entry)
        mime->setData(entry.key(), entry.value());
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
}

}  // namespace halvern
