#include "platform/selection_service_provider.h"

#include "core/direct_selection_rules.h"
#include "platform/selection_clipboard_reader.h"

namespace halvern {

QString SelectionFailure::message() const {
    switch (case_) {
    case Case::noText: return QStringLiteral("没有收到所选文字。请先选中文字，再运行 orvel --study-selection。");
    case Case::unknownAction: return QStringLiteral("无法识别这个 Orvel 服务，请重新安装最新版。");
    }
    return {};
}

QString rawValue(SelectionRefusal refusal) {
    switch (refusal) {
    case SelectionRefusal::noSelection: return QStringLiteral("noSelection");
    case SelectionRefusal::protectedField: return QStringLiteral("protectedField");
    case SelectionRefusal::tooLong: return QStringLiteral("tooLong");
    case SelectionRefusal::unconfirmedBrowserField: return QStringLiteral("unconfirmedBrowserField");
    case SelectionRefusal::unknownSource: return QStringLiteral("unknownSource");
    case SelectionRefusal::unconfirmedProgramField: return QStringLiteral("unconfirmedProgramField");
    case SelectionRefusal::remoteSource: return QStringLiteral("remoteSource");
    case SelectionRefusal::unconfirmedWebViewField: return QStringLiteral("unconfirmedWebViewField");
    case SelectionRefusal::unknownProgram: return QStringLiteral("unknownProgram");
    case SelectionRefusal::unshownWebSelection: return QStringLiteral("unshownWebSelection");
    case SelectionRefusal::unknownSourceOutsideGnome: return QStringLiteral("unknownSourceOutsideGnome");
    case SelectionRefusal::unknownSourceUntold: return QStringLiteral("unknownSourceUntold");
    }
    return {};
}

std::optional<SelectionRefusal> selectionRefusalFromRawValue(const QString& raw) {
    for (const SelectionRefusal refusal :
         {SelectionRefusal::noSelection, SelectionRefusal::protectedField, SelectionRefusal::tooLong,
          SelectionRefusal::unconfirmedBrowserField, SelectionRefusal::unknownSource,
          SelectionRefusal::unconfirmedProgramField, SelectionRefusal::remoteSource,
          SelectionRefusal::unconfirmedWebViewField, SelectionRefusal::unknownProgram,
          SelectionRefusal::unshownWebSelection, SelectionRefusal::unknownSourceOutsideGnome,
          SelectionRefusal::unknownSourceUntold})
        if (rawValue(refusal) == raw) return refusal;
    return std::nullopt;
}

QString message(SelectionRefusal refusal) {
    switch (refusal) {
    case SelectionRefusal::noSelection:
        return QStringLiteral("没有读到所选文字：请先选中文字，再按快捷键或运行 orvel --study-selection。");
    case SelectionRefusal::protectedField:
        return tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::protectedField).message();
    case SelectionRefusal::tooLong: return tamsel::StudyError(tamsel::StudyError::Case::inputTooLong).message();
    case SelectionRefusal::unconfirmedBrowserField:
        return CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedBrowserFieldWithoutCopy).message();
    case SelectionRefusal::unknownSource:
        return QStringLiteral(
            "无法确认所选文字来自哪个程序：有浏览器正在运行，所选文字可能在它的密码框中，因此没有读取。"
            "在 GNOME 上启用 Orvel 的扩展（gnome-extensions enable selection@orvel.app）后再试。");
    case SelectionRefusal::unconfirmedProgramField:
        return CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedProgramField).message();
    case SelectionRefusal::remoteSource:
        return CompatibilityReadFailure(CompatibilityReadFailure::Case::remoteSource).message();
    case SelectionRefusal::unconfirmedWebViewField:
        return CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedWebViewFieldWithoutCopy).message();
    case SelectionRefusal::unknownProgram:
        return CompatibilityReadFailure(CompatibilityReadFailure::Case::unknownProgram).message();
    case SelectionRefusal::unshownWebSelection:
        return CompatibilityReadFailure(CompatibilityReadFailure::Case::unshownWebSelectionWithoutCopy).message();
    case SelectionRefusal::unknownSourceOutsideGnome:
        return QStringLiteral(
            "无法确认所选文字来自哪个程序：有浏览器正在运行，所选文字可能在它的密码框中，因此没有读取。"
            "此桌面不告诉其他程序选区来自哪个窗口，可复制后粘贴到主窗口。");
    case SelectionRefusal::unknownSourceUntold:
        return QStringLiteral(
            "无法确认所选文字来自哪个程序：有浏览器正在运行，所选文字可能在它的密码框中，因此没有读取。"
            "请重新选中文字后再试。");
    }
    return {};
}

namespace {

// The mode an entry's caller asked for: a raw value, compared exactly; absent means practice.
std::optional<tamsel::StudyMode> requestedMode(const std::optional<QString>& userData) {
    const QString raw = userData.value_or(QStringLiteral("practice"));
    const std::optional<tamsel::StudyMode> mode = base::fromRawValue<tamsel::StudyMode>(raw);
    if (!mode || base::rawValue(*mode) != raw) return std::nullopt;
    return mode;
}

}  // namespace

SelectionRequest SelectionInput::read(PasteboardContents& pasteboard, const std::optional<QString>& userData) {
    std::optional<QString> text = pasteboard.string(Pasteboard::plainTextType);
    if (!text) text = pasteboard.string(Pasteboard::plainTextUtf8Type);
    if (!text) throw SelectionFailure(SelectionFailure::Case::noText);
    const QString validated = tamsel::SourceText::validated(*text);
    const std::optional<tamsel::StudyMode> mode = requestedMode(userData);
    if (!mode) throw SelectionFailure(SelectionFailure::Case::unknownAction);
    return SelectionRequest{validated, *mode};
}

SelectionServiceProvider::SelectionServiceProvider(std::function<void(const SelectionRequest&)> receive,
                                                   QObject* parent)
    : QObject(parent), receive_(std::move(receive)) {}

void SelectionServiceProvider::studySelectedText(PasteboardContents& pasteboard, const std::optional<QString>& userData,
                                                 QString* error) {
    SelectionRequest request;
    try {
        request = SelectionInput::read(pasteboard, userData);
    } catch (const base::Error& failure) {
        if (error) *error = failure.message();
        return;
    }
    if (receive_) receive_(request);
}

bool SelectionServiceProvider::registerOn(QDBusConnection connection) {
    return connection.registerObject(objectPath, interfaceName, this, QDBusConnection::ExportAllSlots);
}

QString SelectionServiceProvider::StudySelectedText(const QString& text, const QString& mode) {
    return handOver(text, mode);
}

QString SelectionServiceProvider::StudySelectedText(const QString& text) { return handOver(text, std::nullopt); }

QString SelectionServiceProvider::ReportUnreadableSelection(const QString& reason, const QString& mode) {
    return reportRefusal(reason, mode);
}

QString SelectionServiceProvider::ReportUnreadableSelection(const QString& reason) {
    return reportRefusal(reason, std::nullopt);
}

QString SelectionServiceProvider::reportRefusal(const QString& reason, const std::optional<QString>& mode) {
    const std::optional<SelectionRefusal> refusal = selectionRefusalFromRawValue(reason);
    const std::optional<tamsel::StudyMode> requested = requestedMode(mode);
    if (!refusal || !requested) return SelectionFailure(SelectionFailure::Case::unknownAction).message();
    if (refuse_) refuse_(RefusedSelection{*refusal, *requested});
    return {};
}

QString SelectionServiceProvider::handOver(const QString& text, const std::optional<QString>& mode) {
    // The text arrives as a call argument: it is put on a private pasteboard of its own, so that
    // it takes the same road as any other hand-over.
    MemoryPasteboard pasteboard;
    pasteboard.setString(text);
    QString error;
    studySelectedText(pasteboard, mode, &error);
    return error;
}

}  // namespace halvern
