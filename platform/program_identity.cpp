#include "platform/program_identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cstring>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/selection_source.h"

namespace halvern {

using Program = tamsel::SelectionReadRule::Program;

namespace {

// A file of a process's folder in /proc ("maps", "stat"); empty when it is gone or unreadable.
QByteArray proc(qint32 process, const char* file) {
    QFile contents(QStringLiteral("/proc/%1/%2").arg(process).arg(QLatin1StringView(file)));
    return contents.open(QIODevice::ReadOnly) ? contents.readAll() : QByteArray();
}

QString programFile(qint32 process) {
    QString file = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(process));
    if (file.endsWith(QStringLiteral(" (deleted)"))) file.chop(10);
    return file;
}

qint32 parentOf(qint32 process) {
    const QByteArray stat = proc(process, "stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toInt() : 0;
}

// Program files of web browsers built on Chromium that carry their engine inside (Chromium's builds
// are one file).
const QStringList& chromiumPrograms() {
    static const QStringList list{
        QStringLiteral("chromium"),    QStringLiteral("chrome"), QStringLiteral("msedge"),   QStringLiteral("brave"),
        QStringLiteral("vivaldi-bin"), QStringLiteral("opera"),  QStringLiteral("electron"),
    };
    return list;
}

// Program files of web browsers of other engines (Gecko, WebKit).
const QStringList& otherBrowserPrograms() {
    static const QStringList list{
        QStringLiteral("firefox"),   QStringLiteral("firefox-esr"), QStringLiteral("firefox-bin"),
        QStringLiteral("librewolf"), QStringLiteral("epiphany"),    QStringLiteral("org.gnome.epiphany"),
    };
    return list;
}

// Program files whose windows show programs of another machine or another display: the client end of
// ssh's X11 forwarding (every forwarded program is a client of the display in ssh's process), remote
// desktop, X11 proxy and virtual machine viewers and agents, which pass the far side's selections on,
// nested X servers, and relays of a display's connection.
const QStringList& forwarderPrograms() {
    static const QStringList list{
        QStringLiteral("ssh"),           QStringLiteral("dbclient"),
        QStringLiteral("xpra"),          QStringLiteral("nxproxy"),
        QStringLiteral("nxplayer.bin"),  QStringLiteral("x2goclient"),
        QStringLiteral("Xephyr"),        QStringLiteral("Xnest"),
        QStringLiteral("remote-viewer"), QStringLiteral("virt-viewer"),
        QStringLiteral("spicy"),         QStringLiteral("spice-vdagent"),
        QStringLiteral("vncviewer"),     QStringLiteral("xtigervncviewer"),
        QStringLiteral("xvnc4viewer"),   QStringLiteral("xtightvncviewer"),
        QStringLiteral("gvncviewer"),    QStringLiteral("vinagre"),
        QStringLiteral("remmina"),       QStringLiteral("krdc"),
        QStringLiteral("xfreerdp"),      QStringLiteral("wlfreerdp"),
        QStringLiteral("sdl-freerdp"),   QStringLiteral("rdesktop"),
        QStringLiteral("VBoxClient"),    QStringLiteral("vmtoolsd"),
        QStringLiteral("VirtualBoxVM"),  QStringLiteral("VirtualBox"),
        QStringLiteral("gnome-boxes"),   QStringLiteral("gnome-connections"),
        QStringLiteral("virt-manager"),  QStringLiteral("waypipe"),
        QStringLiteral("socat"),
    };
    return list;
}

// How an interpreter's command line names what it runs, before the script: options that take a value
// (the rest of their word, or else the next word), options that take one only within their word, options
// whose value is code run in place of a script, and options whose value names the module that is run.
// Short options may be bundled ("-Bc"); long ones ("--eval", and all of Tcl's, "-encoding") are whole
// words.
struct Interpreter {
    QStringList names;  // program files' names, before a version ("python" for python3.11)
    QByteArray valued, attached, code, module;
    QByteArrayList longValued, longCode, longModule;
    bool wholeWords = false;
    bool dottedModules = false;  // a module's first name is its package's, the program's
};

const QList<Interpreter>& interpreters() {
    static const QList<Interpreter> list{
        {{QStringLiteral("python"), QStringLiteral("pypy")},
         "WX",
         {},
         "c",
         "m",
         {"--check-hash-based-pycs"},
         {},
         {},
         false,
         true},
        {{QStringLiteral("perl")}, "I", "MmlxdDiC0F", "eE", {}, {}, {}, {}},
        {{QStringLiteral("ruby")}, "IrCE", "x0TWFK", "e", {}, {}, {}, {}},
        {{QStringLiteral("node"), QStringLiteral("nodejs")},
         "rC",
         {},
         "ep",
         {},
         {"--require", "--import", "--loader", "--experimental-loader", "--conditions", "--title"},
         {"--eval", "--print"},
         {}},
        {{QStringLiteral("gjs"), QStringLiteral("gjs-console")},
         "I",
         {},
         "c",
         "m",
         {"--include-path", "--coverage-prefix", "--coverage-output"},
         {"--command"},
         {"--module"}},
        {{QStringLiteral("lua"), QStringLiteral("luajit")}, "el", {}, {}, {}, {}, {}, {}},
        {{QStringLiteral("tclsh"), QStringLiteral("wish")},
         {},
         {},
         {},
         {},
         {"-encoding", "-display", "-geometry", "-name", "-use", "-visual", "-colormap"},
         {},
         {},
         true},
    };
    return list;
}

// The interpreter a program file is, by its name with or without a version ("python3.11", "lua5.4",
// "luajit-2.1.0-beta3"); nothing for any other program.
const Interpreter* interpreterOf(const QString& name) {
    static const QRegularExpression version(QStringLiteral("^[0-9.]*(-[0-9][-0-9a-z.]*)?$"));
    for (const Interpreter& interpreter : interpreters())
        for (const QString& family : interpreter.names)
            if (name.startsWith(family) && version.match(name.mid(family.size())).hasMatch()) return &interpreter;
    return nullptr;
}

// The name of the program an interpreter runs, from its command line: the script's file name, or the
// module's; empty where it runs code given on the command line, or nothing.
QString programRun(const Interpreter& interpreter, const QByteArray& commandLine) {
    QByteArrayList words = commandLine.split('\0');
    if (!words.isEmpty() && words.last().isEmpty()) words.removeLast();
    const auto moduleName = [&](const QByteArray& module) {
        const QString file = QFileInfo(QString::fromLocal8Bit(module)).fileName();
        return interpreter.dottedModules ? file.section(u'.', 0, 0) : file;
    };
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QByteArray& word = words.at(i);
        const QByteArray next = i + 1 < words.size() ? words.at(i + 1) : QByteArray();
        if (word == "--") return QFileInfo(QString::fromLocal8Bit(next)).fileName();
        if (word == "-") return {};  // the program comes on its standard input
        if (!word.startsWith('-')) return QFileInfo(QString::fromLocal8Bit(word)).fileName();
        if (interpreter.longCode.contains(word)) return {};
        if (interpreter.longModule.contains(word)) return moduleName(next);
        if (interpreter.longValued.contains(word)) {
            ++i;
            continue;
        }
        if (word.startsWith("--") || interpreter.wholeWords) continue;
        for (qsizetype j = 1; j < word.size(); ++j) {
            const char option = word.at(j);
            const QByteArray rest = word.mid(j + 1);
            if (interpreter.code.contains(option)) return {};
            if (interpreter.module.contains(option)) return moduleName(rest.isEmpty() ? next : rest);
            if (interpreter.attached.contains(option)) break;
            if (interpreter.valued.contains(option)) {
                if (rest.isEmpty()) ++i;
                break;
            }
        }
    }
    return {};
}

// Files a web engine maps once it runs, not merely when a program links it: Chromium's ICU data and
// V8 snapshots (every program built on it, CEF among them).
const QList<QByteArray>& chromiumFiles() {
    static const QList<QByteArray> list{"/icudtl.dat", "/v8_context_snapshot.bin", "/snapshot_blob.bin"};
    return list;
}

// The same for the engines Chromium's switches do not reach: the resources of Qt's web engine (built on
// Chromium, but where it uses the system's ICU its main process maps none of the files above: V8 runs in
// its page processes) and Gecko's library.
const QList<QByteArray>& otherWebEngineFiles() {
    static const QList<QByteArray> list{"/qtwebengine_resources.pak", "/libxul.so"};
    return list;
}

// WebKit's library, which many programs link without showing a web page; its pages run in a process
// of their own, which the program starts.
const QList<QByteArray>& webKitFiles() {
    static const QList<QByteArray> list{"/libwebkit2gtk-", "/libwebkitgtk-", "/libWPEWebKit-"};
    return list;
}

QStringList childPrograms(qint32 process) {
    QStringList programs;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(process);
    for (const QString& thread : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks + u'/' + thread + QStringLiteral("/children"));
        if (!children.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& child : children.readAll().split(' '))
            if (const qint32 pid = child.trimmed().toInt(); pid > 0)
                programs.append(QFileInfo(programFile(pid)).fileName());
    }
    return programs;
}

// LibreOffice's window library, in its merged and its split builds.
const QList<QByteArray>& clearPrimaryFiles() {
    static const QList<QByteArray> list{"/libmergedlo.so", "/libvcllo.so"};
    return list;
}

bool maps(const QByteArray& text, const QList<QByteArray>& files) {
    return std::any_of(files.begin(), files.end(), [&](const QByteArray& file) { return text.contains(file); });
}

// The names every Unix socket in this network namespace is bound to, and its peer's, from the kernel's
// socket diagnostics: a client's socket has no name, but its peer on the server's side carries the
// name of the socket the server listens on.
struct UnixSocket {
    QByteArray name;
    quint32 peer = 0;
};

QHash<quint32, UnixSocket> unixSockets() {
    QHash<quint32, UnixSocket> sockets;
    const int link = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (link < 0) return sockets;
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } message{};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = AF_UNIX;
    message.request.udiag_states = ~0U;
    message.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER;
    if (::send(link, &message, sizeof(message), 0) < 0) {
        ::close(link);
        return sockets;
    }
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (bool done = false; !done;) {
        const ssize_t received = ::recv(link, buffer.data(), size_t(buffer.size()), 0);
        if (received <= 0) break;
        int left = int(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            const auto* reply = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
            UnixSocket& socket = sockets[reply->udiag_ino];
            int attributesLeft = int(header->nlmsg_len - NLMSG_LENGTH(sizeof(*reply)));
            for (auto* attribute = reinterpret_cast<const rtattr*>(reply + 1); RTA_OK(attribute, attributesLeft);
                 attribute = RTA_NEXT(attribute, attributesLeft)) {
                const char* value = static_cast<const char*>(RTA_DATA(attribute));
                const int length = int(RTA_PAYLOAD(attribute));
                if (attribute->rta_type == UNIX_DIAG_NAME && length > 0) {
                    // An abstract name starts with a NUL byte, written "@"; a path may end with one.
                    socket.name = QByteArray(value, length);
                    if (socket.name.startsWith('\0')) socket.name[0] = '@';
                    if (const qsizetype end = socket.name.indexOf('\0'); end >= 0) socket.name.truncate(end);
                } else if (attribute->rta_type == UNIX_DIAG_PEER && length >= int(sizeof(quint32))) {
                    std::memcpy(&socket.peer, value, sizeof(quint32));
                }
            }
        }
    }
    ::close(link);
    return sockets;
}

// The sockets whose peer is bound to one of the session's display sockets: the display's clients.
QSet<quint32> sessionClientSockets() {
    const QStringList names =
        ProgramIdentity::sessionSocketNames(qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_RUNTIME_DIR"));
    QSet<quint32> clients;
    if (names.isEmpty()) return clients;
    const QHash<quint32, UnixSocket> sockets = unixSockets();
    for (auto socket = sockets.begin(); socket != sockets.end(); ++socket) {
        if (!socket->peer || !socket->name.isEmpty()) continue;
        const auto peer = sockets.find(socket->peer);
        if (peer != sockets.end() && names.contains(QString::fromUtf8(peer->name))) clients.insert(socket.key());
    }
    return clients;
}

bool holdsOneOf(qint32 process, const QSet<quint32>& sockets) {
    if (sockets.isEmpty()) return false;
    const QString folder = QStringLiteral("/proc/%1/fd").arg(process);
    for (const QString& descriptor : QDir(folder).entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(folder + u'/' + descriptor);
        const qsizetype start = target.indexOf(QStringLiteral("socket:["));
        if (start < 0) continue;
        if (sockets.contains(target.mid(start + 8).chopped(1).toUInt())) return true;
    }
    return false;
}

}  // namespace

Program ProgramIdentity::classify(const QString& file, const QByteArray& commandLine, const QByteArray& mapped,
                                  const QStringList& children) {
    if (file.isEmpty()) return Program::unknown;
    QString name = QFileInfo(file).fileName();
    // An interpreter's program is the script it runs (xpra and virt-manager are Python's).
    if (const Interpreter* interpreter = interpreterOf(name))
        if (const QString program = programRun(*interpreter, commandLine); !program.isEmpty()) name = program;
    if (forwarderPrograms().contains(name)) return Program::forwarder;
    if (otherBrowserPrograms().contains(name)) return Program::webView;
    if (chromiumPrograms().contains(name) || tamsel::SelectionSourcePolicy::isBrowser(name)) return Program::webBrowser;
    if (maps(mapped, chromiumFiles())) return Program::webBrowser;
    if (maps(mapped, otherWebEngineFiles())) return Program::webView;
    if (maps(mapped, webKitFiles()) && children.contains(QStringLiteral("WebKitWebProcess"))) return Program::webView;
    if (name == QStringLiteral("soffice.bin") || maps(mapped, clearPrimaryFiles())) return Program::clearPrimary;
    return Program::ordinary;
}

Program ProgramIdentity::of(qint32 processIdentifier) {
    const QByteArray mapped = proc(processIdentifier, "maps");
    return classify(programFile(processIdentifier), proc(processIdentifier, "cmdline"), mapped,
                    maps(mapped, webKitFiles()) ? childPrograms(processIdentifier) : QStringList());
}

QList<qint32> ProgramIdentity::namespaceIdentifiers(qint32 processIdentifier) {
    return namespaceIdentifiers(processIdentifier, proc(processIdentifier, "status"));
}

QList<qint32> ProgramIdentity::namespaceIdentifiers(qint32 processIdentifier, const QByteArray& status) {
    if (status.isEmpty()) return {};
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith("NSpid:")) continue;
        QList<qint32> identifiers;
        for (const QByteArray& field : line.mid(6).simplified().split(' '))
            if (const qint32 identifier = field.toInt(); identifier > 0) identifiers.append(identifier);
        if (!identifiers.isEmpty()) return identifiers;
    }
    return {processIdentifier};
}

bool ProgramIdentity::hasHostOfItsOwn(qint32 processIdentifier) {
    // A namespace is one where the kernel's files for it are one file: the same device and inode
    // (the links' texts name the same, but Qt would read them as paths beside each link).
    struct stat own {
    }, its{};
    const QByteArray path = "/proc/" + QByteArray::number(processIdentifier) + "/ns/uts";
    if (processIdentifier <= 0 || ::stat("/proc/self/ns/uts", &own) != 0 || ::stat(path.constData(), &its) != 0)
        return false;
    return own.st_dev != its.st_dev || own.st_ino != its.st_ino;
}

QStringList ProgramIdentity::sessionSocketNames(const QByteArray& display, const QByteArray& waylandDisplay,
                                                const QByteArray& runtimeDirectory) {
    QStringList names;
    // ":0", ":0.0" and "unix:0" are local displays; a host before the colon is not this machine's socket.
    const qsizetype colon = display.lastIndexOf(':');
    if (colon >= 0 && (colon == 0 || display.left(colon) == "unix")) {
        bool number = false;
        const int screen = display.mid(colon + 1).split('.').first().toInt(&number);
        if (number) {
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(screen);
            names << u'@' + socket << socket;
        }
    }
    if (!waylandDisplay.isEmpty()) {
        if (waylandDisplay.startsWith('/'))
            names << QString::fromUtf8(waylandDisplay);
        else if (!runtimeDirectory.isEmpty())
            names << QString::fromUtf8(runtimeDirectory + '/' + waylandDisplay);
    }
    return names;
}

bool ProgramIdentity::connectedToThisSession(qint32 processIdentifier) {
    return holdsOneOf(processIdentifier, sessionClientSockets());
}

bool ProgramIdentity::webBrowserRunsHere() {
    const QSet<quint32> clients = sessionClientSockets();
    if (clients.isEmpty()) return false;
    const qint32 self = qint32(::getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint32 process = qint32(entry.toUInt(&number));
        if (!number || process == self) continue;
        // This program's own web view runs in helper processes of its own.
        if (parentOf(process) == self &&
            QFileInfo(programFile(process)).fileName() == QStringLiteral("QtWebEngineProcess"))
            continue;
        // Only a program connected to this session's display can have made its selection.
        if (!holdsOneOf(process, clients)) continue;
        const Program program = of(process);
        if (program == Program::webBrowser || program == Program::webView || program == Program::unknown) return true;
    }
    return false;
}

}  // namespace halvern
