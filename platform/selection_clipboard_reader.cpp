#include "platform/selection_clipboard_reader.h"

#include <QCoroTimer>

#include <memory>

#include "core/direct_selection_rules.h"
#include "core/selection_read_rule.h"
#include "platform/program_identity.h"
#include "platform/shell_pointer.h"
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
    case Case::unconfirmedWebViewField:
        return QStringLiteral(
            "程序没有向辅助功能开放所显示的网页，无法确认所选文字不在密码框中，因此没有读取。请开启“智能取词：辅助功能"
            "优先，失败时临时复制”，或在辅助功能开启后重新启动该程序。");
    case Case::unconfirmedWebViewFieldWithoutCopy:
        return QStringLiteral(
            "程序没有向辅助功能开放所显示的网页，无法确认所选文字不在密码框中，因此没有读取。请在辅助功能开启后重新启动"
            "该程序再试。");
    case Case::unshownWebSelection:
        return QStringLiteral(
            "辅助功能没有在网页的普通文字中显示这段选区，无法确认它不在密码框中，因此没有读取。请开启“智能取词："
            "辅助功能优先，失败时临时复制”，或重新选中文字后再试。");
    case Case::unshownWebSelectionWithoutCopy:
        return QStringLiteral(
            "辅助功能没有在网页的普通文字中显示这段选区，无法确认它不在密码框中，因此没有读取。请重新选中文字后再试。");
    case Case::unconfirmedProgramField:
        return QStringLiteral(
            "此程序会把密码框中的文字以明文放入选区，而辅助功能没有显示所选文字的位置，因此没有读取。"
            "请开启辅助功能后以 GTK 界面启动它（SAL_USE_VCLPLUGIN=gtk3）。");
    case Case::remoteSource:
        return QStringLiteral(
            "所选文字来自另一台电脑上的程序，或经 ssh -X 等转发显示的程序，无法确认它不在密码框中，因此没有读取。"
            "可复制后粘贴到主窗口。");
    case Case::unknownProgram:
        return QStringLiteral(
            "无法识别所选文字来自哪个程序（它的进程已结束或无法查看），无法确认它不在密码框中，因此没有读取。"
            "可复制后粘贴到主窗口。");
    case Case::restoreFailed:
        return QStringLiteral("原剪贴板未能恢复，剪贴板中现为所选文字。如需原来的内容，请重新复制。");
    case Case::clipboardTakenByAnother:
        return QStringLiteral(
            "兼容复制期间另一个程序改动了剪贴板，所选文字没有读取，剪贴板中保留该程序的内容。请重新划选。");
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

// Main thread only: one compatibility copy at a time.
bool reading = false;

struct ReadingScope {
    ReadingScope() { reading = true; }
    ~ReadingScope() { reading = false; }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;
};

using Snapshot = QList<PasteboardItemData>;

// The whole pasteboard, or nothing when it is over a limit, a declared type yields no data, or its
// holder does not tell what it holds: a backup that got nothing from it is no empty pasteboard.
std::optional<Snapshot> takeSnapshot(PasteboardContents& pasteboard) {
    Snapshot snapshot;
    qint64 total = 0;
    const std::optional<qsizetype> items = pasteboard.itemCount();
    if (!items) return std::nullopt;
    for (qsizetype item = 0; item < *items; ++item) {
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

bool declaresFile(PasteboardContents& pasteboard) {
    const qsizetype items = pasteboard.itemCount().value_or(0);
    for (qsizetype item = 0; item < items; ++item) {
        const QStringList types = pasteboard.types(item);
        if (types.contains(Pasteboard::fileURLType) || types.contains(QStringLiteral("x-special/gnome-copied-files")))
            return true;
    }
    return false;
}

// A change of the pasteboard taken for the source's copy: its count (taken before its owner, so
// no later than the owner's change) and its owner.
struct Landing {
    qint64 count = 0;
    std::optional<quint64> owner;
};

// The change since the count `since` that is the source's copy, if there is one. With the
// source's owner id, only a change that left the source holding the pasteboard: another program
// copying meanwhile is not the selection. Without, a change by any program but this one (one that
// left nobody holding it is no copy); where the pasteboard tells no owners, any change.
std::optional<Landing> copyLanded(Pasteboard& pasteboard, qint64 since, std::optional<quint64> source) {
    const qint64 count = pasteboard.changeCount();
    if (count == since) return std::nullopt;
    const std::optional<quint64> owner = pasteboard.owner();
    const bool landed =
        source ? owner == source : !owner || (*owner != Pasteboard::thisProgram && *owner != Pasteboard::nobody);
    if (!landed) return std::nullopt;
    return Landing{count, owner};
}

// Whether something was copied since the count `since` that the person may mean to keep: a change
// made by a program other than `source` (the one whose copy landed) and this one. The source may
// claim the pasteboard more than once for one copy. Where the pasteboard tells no owners, any
// change.
bool copiedByAnotherSince(Pasteboard& pasteboard, qint64 since, std::optional<quint64> source) {
    if (pasteboard.changeCount() == since) return false;
    const std::optional<quint64> owner = pasteboard.owner();
    if (!owner || !source) return true;
    return *owner != *source && *owner != Pasteboard::thisProgram && *owner != Pasteboard::nobody;
}

// Puts the backup back unless something was copied after our copy landed (its count
// `landedCount`, its owner `source`), and checks that it took: a pasteboard may refuse a write
// without a word (on X11, a claim of the clipboard stamped earlier than the copying program's).
// Throws restoreFailed when the backup could not be put back.
QCoro::Task<> restore(Pasteboard& pasteboard, const Snapshot& snapshot, qint64 landedCount,
                      std::optional<quint64> source) {
    qint64 expected = landedCount;
    for (int attempt = 1;; ++attempt) {
        // Something copied by another program after our copy landed is the user's newer clipboard:
        // keep it.
        if (copiedByAnotherSince(pasteboard, expected, source)) co_return;
        // Named locals: GCC 12 destroys temporaries of an awaited expression twice.
        auto preparing = pasteboard.prepareToWrite();
        co_await std::move(preparing);
        if (copiedByAnotherSince(pasteboard, expected, source)) co_return;
        pasteboard.clearContents();
        if (!snapshot.isEmpty()) pasteboard.writeItems(snapshot);
        if (pasteboard.holds(snapshot)) co_return;
        if (attempt == SelectionClipboardReader::restoreAttempts)
            throw CompatibilityReadFailure(CompatibilityReadFailure::Case::restoreFailed);
        // The refused writes count as changes of their own.
        expected = pasteboard.changeCount();
    }
}

}  // namespace

QCoro::Task<SelectionReadResult> SelectionClipboardReader::readFrom(Pasteboard& pasteboard,
                                                                    std::function<bool()> sourceStillFocused,
                                                                    std::function<bool()> requestCopy,
                                                                    base::CancellationToken cancellation,
                                                                    std::optional<quint64> source) {
    if (reading) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::busy);
    if (!sourceStillFocused()) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::sourceChanged);
    cancellation.throwIfCancelled();

    const ReadingScope scope;
    const qint64 before = pasteboard.changeCount();
    // Read into a value of its own: the reader may run on another thread.
    const auto backup = std::make_shared<std::optional<Snapshot>>();
    auto backingUp = pasteboard.read([backup](PasteboardContents& contents) { *backup = takeSnapshot(contents); });
    co_await std::move(backingUp);
    if (!*backup || pasteboard.changeCount() != before)
        throw CompatibilityReadFailure(CompatibilityReadFailure::Case::snapshotUnavailable);
    const Snapshot& snapshot = **backup;
    if (!sourceStillFocused()) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::sourceChanged);
    if (!requestCopy()) throw CompatibilityReadFailure(CompatibilityReadFailure::Case::noCopy);

    // Wait for the copy on the event loop, so that the main thread stays free meanwhile. Another
    // program that copies between two looks hides a copy the source made before it: the source never
    // shows holding the clipboard, and the wait ends told that the clipboard was taken, not that the
    // source copied nothing.
    std::optional<Landing> landing;
    bool takenByAnother = false;
    for (int checks = 1; !(landing = copyLanded(pasteboard, before, source)); ++checks) {
        takenByAnother = takenByAnother || (source && copiedByAnotherSince(pasteboard, before, source));
        co_await QCoro::sleepFor(copyPause);
        if (checks == copyChecks) {
            cancellation.throwIfCancelled();
            throw CompatibilityReadFailure(takenByAnother ? CompatibilityReadFailure::Case::clipboardTakenByAnother
                                                          : CompatibilityReadFailure::Case::noCopy);
        }
    }

    const qint64 landed = landing->count;
    const std::optional<quint64> copier = landing->owner;
    QString text;
    std::exception_ptr failure;
    try {
        cancellation.throwIfCancelled();
        if (!sourceStillFocused()) throw base::CancellationError();
        struct Copied {
            bool file = false;
            std::optional<QString> text;
        };
        const auto copied = std::make_shared<Copied>();
        auto reading = pasteboard.read([copied](PasteboardContents& contents) {
            copied->file = declaresFile(contents);
            if (!copied->file) copied->text = contents.string(Pasteboard::plainTextType);
        });
        co_await std::move(reading);
        if (copied->file || !copied->text) throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
        text = DirectSelectionRules::validated(*copied->text);
        if (copiedByAnotherSince(pasteboard, landed, copier)) throw base::CancellationError();
    } catch (...) {
        failure = std::current_exception();
    }
    // A clipboard that could not be put back is told, over the read's own outcome.
    auto restoring = restore(pasteboard, snapshot, landed, copier);
    co_await std::move(restoring);
    if (failure) std::rethrow_exception(failure);
    co_return SelectionReadResult{text, copyRoute, 1};
}

PrimaryOwner SelectionClipboardReader::primaryOwner(qint32 processIdentifier) {
    const x11::WindowId owner = x11::primaryOwner();
    if (!owner) return {};
    if (x11::windowBelongsToProcess(owner, processIdentifier)) return {PrimaryOwner::Kind::source, owner};
    // A program without an X window (a native Wayland window) while no X window is active: the
    // compositor passes a native selection on to X11 through a window of its own.
    if (!x11::activeWindow() && !x11::windowOfProcess(processIdentifier) && x11::madeByWindowManager(owner))
        return {PrimaryOwner::Kind::compositor, owner};
    return {};
}

bool SelectionClipboardReader::holdsSelectionOf(const PrimaryOwner& owner, qint32 processIdentifier,
                                                const std::function<std::optional<qint32>()>& nativeSource) {
    switch (owner.kind) {
    case PrimaryOwner::Kind::none: return false;
    case PrimaryOwner::Kind::source: return true;
    // The compositor's window passes on whatever native window set PRIMARY last, which may be another
    // program's (a browser's password field): only the one the shell names.
    case PrimaryOwner::Kind::compositor: return processIdentifier > 0 && nativeSource() == processIdentifier;
    }
    return false;
}

std::optional<QString> SelectionClipboardReader::primaryText(const PrimaryOwner& owner) {
    if (owner.kind == PrimaryOwner::Kind::none) return std::nullopt;
    return x11::primarySelectionText(
        owner.kind == PrimaryOwner::Kind::compositor ? compositorPrimaryTimeout : primaryTimeout, owner.window);
}

PrimarySelection SelectionClipboardReader::primaryText(qint32 processIdentifier) {
    const PrimaryOwner owner = primaryOwner(processIdentifier);
    const auto nativeSource = [] { return ShellPointer::shared().primarySource(primarySourceTimeout); };
    if (!holdsSelectionOf(owner, processIdentifier, nativeSource)) return {};
    return {true, primaryText(owner)};
}

void SelectionClipboardReader::throwRefusal(tamsel::SelectionReadRule::Refusal refusal) {
    using Refusal = tamsel::SelectionReadRule::Refusal;
    using Failure = CompatibilityReadFailure::Case;
    switch (refusal) {
    case Refusal::passwordField: throw DirectSelectionFailure(DirectSelectionFailure::Case::protectedField);
    case Refusal::unconfirmedBrowserField: throw CompatibilityReadFailure(Failure::unconfirmedBrowserField);
    case Refusal::unconfirmedBrowserFieldWithoutCopy:
        throw CompatibilityReadFailure(Failure::unconfirmedBrowserFieldWithoutCopy);
    case Refusal::unconfirmedWebViewField: throw CompatibilityReadFailure(Failure::unconfirmedWebViewField);
    case Refusal::unconfirmedWebViewFieldWithoutCopy:
        throw CompatibilityReadFailure(Failure::unconfirmedWebViewFieldWithoutCopy);
    case Refusal::unshownWebSelection: throw CompatibilityReadFailure(Failure::unshownWebSelection);
    case Refusal::unshownWebSelectionWithoutCopy:
        throw CompatibilityReadFailure(Failure::unshownWebSelectionWithoutCopy);
    case Refusal::unconfirmedProgramField: throw CompatibilityReadFailure(Failure::unconfirmedProgramField);
    case Refusal::primaryUnanswered: throw DirectSelectionFailure(DirectSelectionFailure::Case::timedOut);
    case Refusal::remoteSource: throw CompatibilityReadFailure(Failure::remoteSource);
    case Refusal::unknownProgram: throw CompatibilityReadFailure(Failure::unknownProgram);
    case Refusal::readFailure:
    case Refusal::noSelection:
    case Refusal::unknownSource: break;
    }
    throw DirectSelectionFailure(DirectSelectionFailure::Case::noText);
}

QCoro::Task<SelectionReadResult> SelectionClipboardReader::read(qint32 processIdentifier,
                                                                base::CancellationToken cancellation,
                                                                AccessibilitySystem& system) {
    using Rule = tamsel::SelectionReadRule;
    if (!SelectedTextReader::isAuthorized(system))
        throw DirectSelectionFailure(DirectSelectionFailure::Case::permission);
    // What the compatibility copy is asked for: the selection the bus could not read.
    Rule::Evidence evidence;
    evidence.program = ProgramIdentity::of(processIdentifier);
    evidence.sourceRemote = x11::shownFromElsewhere(processIdentifier);
    evidence.readFailure = DirectSelectionFailure::Case::unsupported;
    const PrimarySelection primary = primaryText(processIdentifier);
    evidence.primaryOwned = primary.owned;
    evidence.primary = primary.text;
    evidence.copyEnabled = true;
    evidence.copyKeyReachable = x11::windowOfProcess(processIdentifier).has_value();
    const Rule::Verdict verdict = Rule::decide(Rule::Asker::gesture, evidence);
    for (const Rule::Route route : verdict.routes) {
        if (route == Rule::Route::primary) {
            try {
                co_return SelectionReadResult{DirectSelectionRules::validated(*evidence.primary), primaryRoute, 1};
            } catch (const DirectSelectionFailure& failure) {
                if (failure.failureCase() != DirectSelectionFailure::Case::noText) throw;
            }
        } else if (route == Rule::Route::ownCopy) {
            // The task is a named local: GCC 12 destroys temporaries of an awaited expression twice.
            auto copying = copy(processIdentifier, cancellation, evidence.program);
            co_return co_await std::move(copying);
        }
    }
    throwRefusal(verdict.refusal);
}

QCoro::Task<SelectionReadResult> SelectionClipboardReader::copy(qint32 processIdentifier,
                                                                base::CancellationToken cancellation,
                                                                tamsel::SelectionReadRule::Program program) {
    const auto sourceStillFocused = [processIdentifier] {
        const std::optional<qint32> frontmost = x11::frontmostProcess();
        return frontmost && *frontmost == processIdentifier;
    };
    const auto requestCopy = [processIdentifier] { return x11::postCopyKeystroke(processIdentifier); };
    // No key goes to a terminal, so nothing is copied there; the person is told the terminal's own
    // copy key instead of Ctrl+C, which would interrupt the program running in it.
    const std::optional<x11::WindowId> window = x11::windowOfProcess(processIdentifier);
    const bool terminal = window && x11::isTerminalWindow(*window);
    const bool browser = program == tamsel::SelectionReadRule::Program::webBrowser ||
                         program == tamsel::SelectionReadRule::Program::webView;
    // Only a claim of the clipboard by the source's own process, as the X server names it, is its copy.
    // The task is a named local: GCC 12 destroys temporaries of an awaited expression twice.
    auto copying =
        readFrom(SystemPasteboard::shared(), sourceStillFocused, requestCopy, cancellation, quint64(processIdentifier));
    try {
        co_return co_await std::move(copying);
    } catch (const CompatibilityReadFailure& failure) {
        if (!(terminal || browser) || failure.failureCase() != CompatibilityReadFailure::Case::noCopy) throw;
    }
    throw CompatibilityReadFailure(terminal ? CompatibilityReadFailure::Case::noCopyFromTerminal
                                            : CompatibilityReadFailure::Case::noCopyFromBrowser);
}

}  // namespace halvern
