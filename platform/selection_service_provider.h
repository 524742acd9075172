#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "base/errors.h"
#include "core/study.h"
#include "platform/pasteboard.h"

// The desktop's service entry: another program hands over selected text and a study mode through
// a method on the session bus, and the request goes on to select-anywhere.
namespace halvern {

struct SelectionRequest {
    QString text;  // as SourceText::validated returns it
    tamsel::StudyMode mode = tamsel::StudyMode::practice;

    bool operator==(const SelectionRequest& other) const = default;
};

// Why a hand-over was refused.
class SelectionFailure : public base::Error {
public:
    enum class Case { noText, unknownAction };

    explicit SelectionFailure(Case failureCase) : case_(failureCase) {}
    Case failureCase() const { return case_; }
    QString message() const override;
    bool operator==(const SelectionFailure& other) const { return case_ == other.case_; }

private:
    Case case_;
};

// Why the study-selection command found nothing to hand over; the running copy shows it in the
// answer panel, since a command bound to a key has no terminal to print to.
// unconfirmedBrowserField: the selection is a web browser's, which the accessibility bus does not
// show outside a password field. unknownSource: the selection came through the compositor from a
// native window whose program nothing tells, while a web browser runs. unconfirmedProgramField: the
// selection is of a program that puts a password field's text into PRIMARY in clear (LibreOffice),
// which the bus does not show outside a password field. remoteSource: the selection is held by an X11
// client whose process the display server does not name (one of another machine).
// unshownWebSelection: a browser's or web view's page is on the bus, but it does not show the
// selection in an ordinary element. unknownSourceOutsideGnome and unknownSourceUntold: unknownSource on
// a desktop whose shell tells no program which window made a selection, and where Orvel's GNOME Shell
// extension runs but did not note this one.
enum class SelectionRefusal {
    noSelection,
    protectedField,
    tooLong,
    unconfirmedBrowserField,
    unknownSource,
    unconfirmedProgramField,
    remoteSource,
    unconfirmedWebViewField,
    unknownProgram,
    unshownWebSelection,
    unknownSourceOutsideGnome,
    unknownSourceUntold,
};

QString rawValue(SelectionRefusal refusal);
std::optional<SelectionRefusal> selectionRefusalFromRawValue(const QString& raw);
// The text shown to the person.
QString message(SelectionRefusal refusal);

// A refusal with the study mode the command asked for, which the answer panel shows.
struct RefusedSelection {
    SelectionRefusal refusal = SelectionRefusal::noSelection;
    tamsel::StudyMode mode = tamsel::StudyMode::practice;

    bool operator==(const RefusedSelection& other) const = default;
};

struct SelectionInput {
    // The plain text of the pasteboard (the plain-text type, else its charset-qualified form),
    // validated with SourceText (its StudyError thrown unchanged) before the mode is looked at;
    // the mode is `userData` ("translate", "explain", "practice", compared exactly; absent means
    // practice). Throws SelectionFailure noText or unknownAction. Only reads the pasteboard.
    static SelectionRequest read(PasteboardContents& pasteboard, const std::optional<QString>& userData);
};

// Receives the hand-overs. `receive` is called synchronously on the main thread with each
// accepted request.
class SelectionServiceProvider : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvel.formac.Selection")
public:
    static inline const QString serviceName = QStringLiteral("com.orvel.formac");
    static inline const QString objectPath = QStringLiteral("/com/orvel/formac/Selection");
    static inline const QString interfaceName = QStringLiteral("com.orvel.formac.Selection");

    explicit SelectionServiceProvider(std::function<void(const SelectionRequest&)> receive, QObject* parent = nullptr);

    // Reads the request from the pasteboard; on failure stores the message in `error` when given
    // (and drops it silently otherwise) and does not call `receive`.
    void studySelectedText(PasteboardContents& pasteboard, const std::optional<QString>& userData, QString* error);

    // Where refusals of the study-selection command go; none drops them.
    void setRefusalHandler(std::function<void(const RefusedSelection&)> refuse) { refuse_ = std::move(refuse); }

    // Exports the D-Bus methods at objectPath on `connection` (the caller owns the bus name).
    bool registerOn(QDBusConnection connection);

public Q_SLOTS:
    // D-Bus: StudySelectedText(s text, s mode) → s and StudySelectedText(s text) → s (practice).
    // The answer is empty when the request was accepted, else the message of the failure.
    QString StudySelectedText(const QString& text, const QString& mode);
    QString StudySelectedText(const QString& text);
    // D-Bus: ReportUnreadableSelection(s reason, s mode) → s and ReportUnreadableSelection(s reason)
    // → s (practice, as for a text), reason a SelectionRefusal's raw value: the study-selection
    // command asked in that mode found nothing it may hand over. Empty when shown, else why not.
    QString ReportUnreadableSelection(const QString& reason, const QString& mode);
    QString ReportUnreadableSelection(const QString& reason);

private:
    QString handOver(const QString& text, const std::optional<QString>& mode);
    QString reportRefusal(const QString& reason, const std::optional<QString>& mode);

    std::function<void(const SelectionRequest&)> receive_;
    std::function<void(const RefusedSelection&)> refuse_;
};

}  // namespace halvern
