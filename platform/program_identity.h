#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "core/selection_read_rule.h"

// What another process is, told by what it runs and what it is connected to rather than by names it
// chooses: a program sets its own window class and writes over its own environment, but not the
// program file it runs, the files it maps, or the sockets the kernel says it holds.
namespace halvern {

struct ProgramIdentity {
    // What the process's program does with a password field's text, by its program file and the
    // files it maps: a running web engine makes it a web browser (Chromium and the programs built on
    // it) or a web view (Qt's web engine, Gecko, and WebKit where the program runs its page process),
    // LibreOffice's window library a clear-PRIMARY program, a program that shows another machine's
    // or display's programs (ssh, remote desktop viewers) a forwarder. An interpreter's process is
    // known by the script it runs. A process whose program file cannot be read (it has ended, or
    // belongs to another user) is unknown.
    static tamsel::SelectionReadRule::Program of(qint32 processIdentifier);
    // The same from a program file, the process's command line (its arguments, each ended by a NUL
    // byte, as /proc keeps them), the text of its maps file (empty when unreadable) and the program
    // files' names of its children.
    static tamsel::SelectionReadRule::Program classify(const QString& programFile, const QByteArray& commandLine,
                                                       const QByteArray& maps, const QStringList& children);

    // The process's ids in each of its pid namespaces, this program's first (the "NSpid:" line of its
    // /proc status); the id alone where the line is missing (a kernel before 4.1), nothing where the
    // status is empty (the process has ended). The second form reads the status given.
    static QList<qint32> namespaceIdentifiers(qint32 processIdentifier);
    static QList<qint32> namespaceIdentifiers(qint32 processIdentifier, const QByteArray& status);
    // Whether the process runs in a UTS namespace other than this program's (a container's): it has a
    // host name of its own. False where either namespace cannot be looked at.
    static bool hasHostOfItsOwn(qint32 processIdentifier);

    // Whether a web browser runs that is connected to this desktop session's display (the X server
    // of DISPLAY or the compositor of WAYLAND_DISPLAY); this program and its children aside.
    static bool webBrowserRunsHere();
    // Whether the process holds a connection to this session's display.
    static bool connectedToThisSession(qint32 processIdentifier);
    // The socket names a client of the session's display connects to ("@" for an abstract name).
    static QStringList sessionSocketNames(const QByteArray& display, const QByteArray& waylandDisplay,
                                          const QByteArray& runtimeDirectory);
};

}  // namespace halvern
