#include "platform/selection_clipboard_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <unistd.h>

#include <QCoroTimer>

#include "core/direct_selection_rules.h"
#include "core/selection_source.h"
#include "platform/x11_windows.h"

namespace halvern {

using tamsel::DirectSelectionFailure;
using tamsel::DirectSelectionRules;

QString CompatibilityReadFailure::message() const {
    switch (case_) {
    case Case::busy: return QStringLiteral("上一笔兼容复制尚在恢复剪贴板，请重新划选。");
    case Case::sourceChanged: return QStringLiteral("来源应用已切换，已取消兼容复制。");
    case Case::snapshotUnavailable:
        return QStringLiteral("原剪贴板无法完整备份，本次没有模拟复制。请先手动复制所选文字。");
    case Case::noCopy: return QStringLiteral("未收到新的复制内容。请确认在来源应用中按 Ctrl+C 能复制所选文字。");
    case Case::noCopyFromTerminal:
        return QStringLiteral("未收到新的复制内容。请确认在来源终端中按 Ctrl+Shift+C 能复制所选文字。");
    case Case::noCopyFromBrowser:
        return QStringLiteral(
            "浏览器没有复制所选文字：密码框中的文字不会被复制，也不会被读取。其他文字请确认在浏览器中按 "
            "Ctrl+C 能复制。");
    case Case::unconfirmedBrowserField:
        return QStringLiteral(
            "浏览器没有向辅助功能开放网页，无法确认所选文字不在密码框中，因此没有读取。请开启“智能取词：辅助功能优先，"
            "失败时临时复制”，或以 --force-renderer-accessibility 启动浏览器。");
    case Case::unconfirmedBrowserFieldWithoutCopy:
        return QStringLiteral(
            "浏览器没有向辅助功能开放网页，无法确认所选文字不在密码框中，因此没有读取。请以 "
            "--force-renderer-accessibility 启动浏览器后再试。");
    }
    return {};
}

bool SelectionClipboardReader::migrateDefault(base::DefaultsStore& defaults) {
    if (const std::optional<bool> stored = defaults.boolValue(preferenceKey)) return *stored;
    defaults.setBool(preferenceKey, true);
    defaults.setInteger(migrationVersionKey, 1);
    return true;
}

namespace {

// Whether PRIMARY holds the process's selection: it owns the selection, or, for a program without an X
// window (a native Wayland window) while no X window is active, the compositor owns it: it passes a
// native selection on to X11 through a window of its own.
bool ownsPrimary(qint32 processIdentifier) {
    const x11::WindowId owner = x11::primaryOwner();
    if (x11::windowBelongsToProcess(owner, processIdentifier)) return true;
    return owner != 0 && !x11::activeWindow() && !x11::windowOfProcess(processIdentifier) &&
           (x11::madeByWindowManager(owner) || !x11::owningProcess(owner));
}

// A file of a process's folder in /proc ("comm", "cmdline", "task/T/children"); empty when it is gone.
QByteArray proc(qint32 process, const QString& file) {
    QFile contents(QStringLiteral("/proc/%1/").arg(process) + file);
    return contents.open(QIODevice::ReadOnly) ? contents.readAll() : QByteArray();
}

// The parent's process id, which follows the command name (ending with the last ")") in "stat".
qint32 parentOf(qint32 process) {
    const QByteArray stat = proc(process, QStringLiteral("stat"));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toInt() : 0;
}

// Whether the process runs with Chromium's switch for its helper processes (zygote, renderer, GPU,
// utility): every program built on Chromium starts them.
bool isChromiumHelper(qint32 process) {
    const QList<QByteArray> arguments = proc(process, QStringLiteral("cmdline")).split('\0');
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const QByteArray& argument) { return argument.startsWith("--type="); });
}

// Whether one of the program's child processes is such a helper.
bool startsChromiumHelpers(qint32 processIdentifier) {
    const QString tasks = QStringLiteral("/proc/%1/task").arg(processIdentifier);
    for (const QString& thread : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QByteArray& child :
             proc(processIdentifier, QStringLiteral("task/%1/children").arg(thread)).split(' '))
            if (const qint32 pid = child.trimmed().toInt(); pid > 0 && isChromiumHelper(pid)) return true;
    }
    return false;
}

std::optional<QByteArray> environmentValue(const QList<QByteArray>& environment, const QByteArray& name) {
    for (const QByteArray& variable : environment)
        if (variable.startsWith(name + '=')) return variable.mid(name.size() + 1);
    return std::nullopt;
}

// Whether the process belongs to this desktop session: its session is the display that the first of
// it and its ancestors names in its environment (a browser may write over its own to show its title);
// where none does, it may be this session's.
bool inThisSession(qint32 process) {
    for (qint32 ancestor = process, depth = 0; ancestor > 1 && depth < 16; ancestor = parentOf(ancestor), ++depth) {
        const QList<QByteArray> environment = proc(ancestor, QStringLiteral("environ")).split('\0');
        const std::optional<QByteArray> wayland = environmentValue(environment, "WAYLAND_DISPLAY");
        const std::optional<QByteArray> display = environmentValue(environment, "DISPLAY");
        if (wayland) return *wayland == qgetenv("WAYLAND_DISPLAY");
        if (display) return *display == qgetenv("DISPLAY");
    }
    return true;
}

// Main thread only: one compatibility copy at a time.
bool reading = false;

struct ReadingScope {
    ReadingScope() { reading = true; }
    ~ReadingScope() { reading = false; }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;
};

using Snapshot = QList<PasteboardItemData>;

// The whole pasteboard, or nothing when it is over a limit or a declared type yields no data.
std::optional<Snapshot> takeSnapshot(Pasteboard& pasteboard) {
    Snapshot snapshot;
    qint64 total = 0;
    const qsizetype items = pasteboard.itemCount();
    for (qsizetype item = 0; item < items; ++item) {
        if (snapshot.size() >= SelectionClipboardReader::snapshotItems) return std::nullopt;
        const QStringList types = pasteboard.types(item);
        if (types.size() > SelectionClipboardReader::snapshotTypesPerItem) return std::nullopt;
        PasteboardItemData entry;
        for (const QString& type : types) {
            const std::optional<QByteArray> bytes = pasteboard.data(item, type);
            if (!bytes) return std::nullopt;
            total += bytes->size();
            if (total > SelectionClipboardReader::snapshotBytes) return std::nullopt;
            entry.insert(type, *bytes);
        }
        snapshot.append(entry);
    }
    return snapshot;
}

void restore(Pasteboard& pasteboard, const Snapshot& snapshot, qint64 landedCount) {
    // Something copied after our copy landed is the user's newer clipboard: keep it.
    if (pasteboard.changeCount() != landedCount) return;
    pasteboard.clearContents();
    if (!snapshot.isEmpty()) pasteboard.writeItems(snapshot);
}

bool declaresFile(Pasteboard& pasteboard) {
    const qsizetype items = pasteboard.itemCount();
    for (qsizetype item = 0; item < items; ++item) {
        const QStringList types = pasteboard.types(item);
        if (types.contains(Pasteboard::fileURLType) || types.contains(QStringLiteral("x-special/gnome-copied-files")))
            return true;
    }
    return false;
}

}  // namespace

QCoro::Task<SelectionReadResult> SelectionClipboardReader::readFrom(Pasteboard& pasteboard,
                                                                    std::function<bool()> sourceStillFocused,
                                                                    std::function<bool()> requestCopy,
                                                                    base::CancellationToken cancellation) {
    if (reading) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::busy);
    if (!sourceStillFocused()) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::sourceChanged);
    cancellation.throwIfCancelled();

    const ReadingScope scope;
    const qint64 before = pasteboard.changeCount();
    const std::optional<Snapshot> snapshot = takeSnapshot(pasteboard);
    if (!snapshot || pasteboard.changeCount() != before)
        throw CompatibilityReadFailure(CompatibilityReadFailure::Case::snapshotUnavailable);
    if (!sourceStillFocused()) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::sourceChanged);
    if (!requestCopy()) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::noCopy);

    // Wait for the copy on the event loop, so that the main thread stays free meanwhile.
    for (int checks = 1; pasteboard.changeCount() == before; ++checks) {
        co_await QCoro::sleepFor(copyPause);
        if (checks == copyChecks) {
            cancellation.throwIfCancelled();
            throw CompatibilityReadFailure(CompatibilityReadFailure::Case::noCopy);
        }
    }

    const qint64 landed = pasteboard.changeCount();
    QString text;
    try {
        cancellation.throwIfCancelled();
        if (!sourceStillFocused()) throw base::CancellationError();
        if (declaresFile(pasteboard)) throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
        const std::optional<QString> copied = pasteboard.string(Pasteboard::plainTextType);
        if (!copied) throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
        text = DirectSelectionRules::validated(*copied);
        if (pasteboard.changeCount() != landed) throw base::CancellationError();
    } catch (...) {
        restore(pasteboard, *snapshot, landed);
        throw;
    }
    restore(pasteboard, *snapshot, landed);
    co_return SelectionReadResult{text, copyRoute, 1};
}

bool SelectionClipboardReader::isWebBrowser(qint32 processIdentifier) {
    QString identifier;
    if (const std::optional<x11::WindowId> window = x11::windowOfProcess(processIdentifier))
        identifier = x11::applicationIdentifier(*window);
    // A window outside X11 (a native Wayland window) is known by its program's name.
    if (identifier.isEmpty()) identifier = QString::fromUtf8(proc(processIdentifier, QStringLiteral("comm"))).trimmed();
    return tamsel::SelectionSourcePolicy::isBrowser(identifier) || startsChromiumHelpers(processIdentifier);
}

bool SelectionClipboardReader::aWebBrowserRuns() {
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const uint user = ::getuid();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint32 process = qint32(entry.toUInt(&number));
        if (!number || QFileInfo(QStringLiteral("/proc/") + entry).ownerId() != user) continue;
        // A known browser, or a helper of a program built on Chromium but not of this program's own
        // web view; only a program of this desktop session can have made the selection.
        const bool browser = tamsel::SelectionSourcePolicy::isBrowser(
                                 QString::fromUtf8(proc(process, QStringLiteral("comm"))).trimmed()) ||
                             (isChromiumHelper(process) &&
                              QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(parentOf(process))) != self);
        if (browser && inThisSession(process)) return true;
    }
    return false;
}

SelectionReadResult SelectionClipboardReader::readPrimary(qint32 processIdentifier, AccessibilitySystem& system,
                                                          bool webBrowser) {
    if (!SelectedTextReader::isAuthorized(system))
        throw DirectSelectionFailure(DirectSelectionFailure::Case::permission);
    const SelectedTextReader::FocusedField focus = SelectedTextReader::focusedField(processIdentifier, system);
    if (focus == SelectedTextReader::FocusedField::password)
        throw DirectSelectionFailure(DirectSelectionFailure::Case::protectedField);
    // A browser puts a password field's selection into PRIMARY as it does any other: it is read
    // only where the bus shows the focused field to be none.
    if (webBrowser && focus != SelectedTextReader::FocusedField::ordinary)
        throw CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedBrowserField);
    if (!ownsPrimary(processIdentifier)) throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
    const std::optional<QString> primary = x11::primarySelectionText(primaryTimeout);
    if (!primary) throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
    return SelectionReadResult{DirectSelectionRules::validated(*primary), primaryRoute, 1};
}

QCoro::Task<SelectionReadResult> SelectionClipboardReader::read(qint32 processIdentifier,
                                                                base::CancellationToken cancellation,
                                                                AccessibilitySystem& system) {
    const bool browser = isWebBrowser(processIdentifier);
    try {
        co_return readPrimary(processIdentifier, system, browser);
    } catch (const DirectSelectionFailure& failure) {
        if (failure.failureCase() != DirectSelectionFailure::Case::noText) throw;
    } catch (const CompatibilityReadFailure&) {
        // The browser's own copy leaves a password field's selection behind.
        if (!x11::windowOfProcess(processIdentifier))
            throw CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedBrowserFieldWithoutCopy);
    }

    const auto sourceStillFocused = [processIdentifier] {
        const std::optional<qint32> frontmost = x11::frontmostProcess();
        return frontmost && *frontmost == processIdentifier;
    };
    const auto requestCopy = [processIdentifier] { return x11::postCopyKeystroke(processIdentifier); };
    // No key goes to a terminal, so nothing is copied there; the person is told the terminal's own
    // copy key instead of Ctrl+C, which would interrupt the program running in it.
    const std::optional<x11::WindowId> window = x11::windowOfProcess(processIdentifier);
    const bool terminal = window && x11::isTerminalWindow(*window);
    // The task is a named local: GCC 12 destroys temporaries of an awaited expression twice.
    auto copying = readFrom(SystemPasteboard::shared(), sourceStillFocused, requestCopy, cancellation);
    try {
        co_return co_await std::move(copying);
    } catch (const CompatibilityReadFailure& failure) {
        if (!(terminal || browser) || failure.failureCase() != CompatibilityReadFailure::Case::noCopy) throw;
    }
    throw CompatibilityReadFailure(terminal ? CompatibilityReadFailure::Case::noCopyFromTerminal
                                            : CompatibilityReadFailure::Case::noCopyFromBrowser);
}

}  // namespace halvern
