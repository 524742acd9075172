#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "core/direct_selection_rules.h"

// Whether a text selected in another program may be read, and by which route: the one rule that
// keeps what is typed into a password field from ever being read. Every way in asks it — the
// gesture's read, the status menu's read, the study-selection command (and through it the bus
// entry), the compatibility copy — with what it found out about the program and its selection;
// the rule looks at nothing itself.
//
// A text is taken only where it is shown not to come from a password field: by the element that
// holds the selection and its nearest ancestors on the accessibility bus, and by what else gives a
// password entry away (a PRIMARY selection made only of mask characters). Where the keyboard focus
// happens to be says nothing of where a selection came from, so it is no evidence here. Programs
// that put a password field's text into PRIMARY in clear (web browsers, LibreOffice) are read
// through PRIMARY only where the bus shows that very selection in an ordinary element.
namespace tamsel {

struct SelectionReadRule {
    // Who asks: the read after a gesture or from the status menu (the accessibility read first), or
    // the study-selection command, which takes what PRIMARY holds.
    enum class Asker { gesture, command };

    // What the program is known to do with a password field's text, by its program file and what it
    // maps. webBrowser: a program built on Chromium (Chromium, Chrome, Electron and CEF programs), which
    // puts it into PRIMARY in clear and refuses to copy it, and takes Chromium's switches. webView: a
    // program of another web engine (Gecko, WebKit, Qt's web engine), handled as a web browser, but
    // Chromium's switches do not reach its pages. clearPrimary: puts it into PRIMARY in clear and
    // copies it (LibreOffice). forwarder: its windows show programs of another machine or another
    // display (ssh's X11 forwarding, remote desktop and virtual machine viewers, nested X servers),
    // which nothing here can look into. unknown: its program cannot be told (its process has ended, or
    // may not be looked into).
    enum class Program { ordinary, webBrowser, webView, clearPrimary, forwarder, unknown };

    enum class Route {
        shown,    // the text the accessibility read found
        primary,  // the PRIMARY selection's text
        ownCopy,  // the program's own copy (a copy key sent to it), which the caller then reads
    };

    enum class Refusal {
        readFailure,  // the accessibility read's own failure stands
        passwordField,
        noSelection,
        // A browser whose selection the bus does not show: its own copy could read it, were the
        // compatibility copy on; or no copy key can reach it (a window outside X11). The same for a
        // program of another web engine.
        unconfirmedBrowserField,
        unconfirmedBrowserFieldWithoutCopy,
        unconfirmedWebViewField,
        unconfirmedWebViewFieldWithoutCopy,
        // A browser or web view whose page is on the bus, where the bus does not show the selection in
        // an ordinary element: its own copy could read it, were the compatibility copy on; or no copy
        // can (it is on, the window is outside X11, or the command asks).
        unshownWebSelection,
        unshownWebSelectionWithoutCopy,
        // A program that puts a password field's text into PRIMARY in clear, whose selection the bus
        // does not show.
        unconfirmedProgramField,
        // A selection passed on by the compositor from a native window whose program nothing tells,
        // while a web browser runs in this session.
        unknownSource,
        // A selection of a program of another machine: an X11 client whose process the display server
        // does not name, one shown through a forwarder or a relay of the display (whatever it is
        // called), or one whose windows name another machine.
        remoteSource,
        // A selection of a program that cannot be told (its process has ended).
        unknownProgram,
        // The bus shows a text, but PRIMARY, which the program owns, did not come in time: nothing
        // shows that text is not a hidden entry's, which a toolkit may show in clear on the bus and
        // masks only in PRIMARY.
        primaryUnanswered,
    };

    struct Evidence {
        Program program = Program::ordinary;
        // The accessibility read: the text it found in an element that is no password field (nor are
        // its six nearest ancestors, nor the objects embedded in the selection), or why it found none;
        // neither when it was not made (untrusted, not on the bus for the command).
        std::optional<QString> shown;
        std::optional<DirectSelectionFailure::Case> readFailure;
        // The read passed over a password field that may hold a selection of its own: the text shown
        // is the selection only where PRIMARY holds the same.
        bool shownBesidePasswordField = false;
        // The read failed in a password field that shows an empty selection, and no element showed one.
        bool passwordFieldEmpty = false;
        // The program shows its windows' content on the bus (the read got past finding it there).
        bool sourceOnBus = false;
        // A window owns PRIMARY (for the gesture's read, one of the program's), and its text where
        // that window is the program's and handed it over in time.
        bool primaryOwned = false;
        std::optional<QString> primary;
        // The compatibility copy is switched on, and the program has a window a copy key can reach.
        bool copyEnabled = false;
        bool copyKeyReachable = false;
        // The command only: which program made PRIMARY's selection is known, and, where it is not,
        // whether a web browser runs in this session.
        bool sourceKnown = true;
        bool webBrowserRunsHere = false;
        // The selection's program runs elsewhere: its X11 client is one the display server does not
        // name, one of its windows was drawn by another process than the one the server names (a
        // relay's client), or names another machine (WM_CLIENT_MACHINE) though the process has no host
        // name of its own.
        bool sourceRemote = false;
    };

    struct Verdict {
        QList<Route> routes;                     // to try in this order; the first that gives a text wins
        Refusal refusal = Refusal::readFailure;  // when every route fails or none may be tried

        bool operator==(const Verdict&) const = default;
    };

    static Verdict decide(Asker asker, const Evidence& evidence);

    // Whether the text is made only of the mask characters a password entry shows in place of its
    // text (and puts into PRIMARY when its "selection" is dragged over): "●", "•", "✱", "*" and kin.
    static bool isMaskedText(const QString& text);
    // Whether two readings of one selection are the same text: the bus and PRIMARY may break lines
    // and space blocks apart differently.
    static bool sameSelection(const QString& first, const QString& second);
};

}  // namespace tamsel
