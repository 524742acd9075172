#pragma once

// End-to-end desktop tests of the real `orvel` program: inside scripts/desktop-session they start
// it with private folders, look at its windows over X11, talk to it over the session bus, and end
// it as the desktop would. Any test program linking orvel_test_desktop can use these.

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orveltest {

// Spins the event loop until `condition` holds or `timeoutMs` passed; whether it held.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

// The session's X display as another program sees it.
class X11Display {
public:
    using WindowId = unsigned long;
    struct Window {
        WindowId id = 0;
        QRect geometry;  // the client area in root coordinates
        QString title;
        QString wmClass;  // the class part of WM_CLASS
    };

    X11Display();
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    bool isOpen() const { return display_ != nullptr; }
    // The mapped application windows (those with WM_CLASS) of process `pid`.
    QList<Window> windowsOf(qint64 pid) const;
    // The first of them whose client area has this size (a panel of the program).
    std::optional<Window> windowOfSize(qint64 pid, QSize size) const;
    // The window the window manager calls active, if any.
    std::optional<WindowId> activeWindow() const;
    bool hasWindowManager() const;
    // Whether the window manager takes new windows: a probe window is mapped until the manager gives
    // it a state (mapped again each second, since a manager that is still starting may drop the
    // request), then destroyed.
    bool managesNewWindows(int timeoutMs) const;
    // The topmost mapped window directly on the root (a window manager's frame, a menu) that holds
    // the point: its place on the screen.
    std::optional<QRect> topLevelAt(QPoint point) const;
    // Whether some program owns the selection (a manager's, as "_NET_SYSTEM_TRAY_S0").
    bool hasSelectionOwner(const QString& selection) const;
    // The window it is a dialog of (WM_TRANSIENT_FOR), if any.
    std::optional<WindowId> transientFor(WindowId window) const;
    // The names of the atoms of a list property (as "_NET_WM_ALLOWED_ACTIONS", which the window
    // manager sets).
    QStringList atomNames(WindowId window, const char* property) const;
    // Asks the window to close, as its close button does.
    void requestClose(WindowId window) const;
    // What the screen shows of the window (the client area).
    QImage grab(const Window& window) const;

private:
    void* display_ = nullptr;
};

// The accessible objects of programs on the session's accessibility bus, as a screen reader sees
// them (Qt programs show theirs when accessibility is on, as it is in the desktop session).
class AccessibilityBus {
public:
    struct Object {
        QString service;
        QString path;
        QString name;
        QString role;  // the role's name, as "push button"
        bool showing = false;
        bool checked = false;  // a check box, or a toggle button pressed in
    };

    AccessibilityBus();
    bool isConnected() const { return connected_; }
    // Every accessible object of process `pid`, depth first, at most `limit` of them.
    QList<Object> objectsOf(qint64 pid, int limit = 2000) const;
    // The first object of process `pid` on screen with this name (and role, when given).
    std::optional<Object> find(qint64 pid, const QString& name, const QString& role = {}) const;
    // Does the object's action of that name ("Press", "Toggle"), or its first one (a button's
    // press) when none is named.
    bool press(const Object& object, const QString& action = {}) const;
    // Where the object is on the screen.
    std::optional<QRect> extents(const Object& object) const;
    // Gives the object the keyboard focus.
    bool focus(const Object& object) const;
    // The object's whole text (an editor's content); empty when it has none.
    QString text(const Object& object) const;
    // Whether a text object of process `pid` on screen holds exactly `text`.
    bool showsText(qint64 pid, const QString& text) const;

private:
    QString connectionName_;
    bool connected_ = false;
};

// Writes a Firefox profile into `folder` that asks nothing at the first start and stays off the network;
// whether it could.
bool writeFirefoxProfile(const QString& folder);

// Puts a session token into the session's keyring, where the program finds it at start.
bool storeSessionToken(const QString& token);

// Keys as the keyboard gives them to the focused window, by xdotool's names ("ctrl+Return").
bool pressKeys(const QString& keys);
// Gives the window the keyboard focus, as a click into it would.
bool focusWindow(X11Display::WindowId window);

// One scripted reply of the hosted services' stub: status 200 with `body`, for every request of `path` until a
// later reply is queued when `repeat`.
QJsonObject stubReply(const QString& path, const QJsonObject& body, bool repeat = true);
// The account service's reply for a confirmed e-mail account `accountID`.
QJsonObject confirmedAccountReply(const QString& accountID, bool repeat = true);

// A light window manager (openbox) in the session while it lives.
class WindowManager {
public:
    explicit WindowManager(const X11Display& display);
    ~WindowManager();
    bool isRunning() const { return running_; }
    // Stops the manager where it is, or lets it go on: what reaches it meanwhile waits for it.
    void pause(bool paused);

private:
    QProcess process_;
    bool running_ = false;
};

// A tray host that shows icons as embedded windows (trayer, a panel along the screen's top edge) while
// it lives, or until stopped.
class TrayHost {
public:
    explicit TrayHost(const X11Display& display);
    ~TrayHost();
    bool isRunning() const { return running_; }
    // The middle of the one icon in the tray, and a point of the tray that no icon covers.
    std::optional<QPoint> iconCentre() const;
    std::optional<QPoint> emptyPoint() const;
    void stop();

private:
    static constexpr int width = 200;
    static constexpr int height = 32;
    std::optional<QRect> place() const;

    const X11Display& display_;
    QProcess process_;
    bool running_ = false;
};

// The `orvel` program with folders of its own: home, settings, data and temporary files. Every
// launch made through one OrvelProgram shares them, as launches of one user do, and ends with it,
// together with every process it started.
class OrvelProgram {
public:
    struct Run {
        bool finished = false;
        int exitCode = -1;
        QByteArray standardOutput;
        QByteArray standardError;
    };

    // `binary` is the program to start (ORVEL_BINARY by default).
    explicit OrvelProgram(QString binary = {});
    ~OrvelProgram();

    QString homePath() const { return folder_.path() + QStringLiteral("/home"); }
    QString tempPath() const { return folder_.path() + QStringLiteral("/tmp"); }
    // The settings file the program reads and writes.
    QString defaultsFile() const;
    QProcessEnvironment environment() const { return environment_; }
    // Starts another program file from now on (an installed copy).
    void setBinary(const QString& binary) { binary_ = binary; }
    void setEnvironmentValue(const QString& name, const QString& value) { environment_.insert(name, value); }
    void removeEnvironmentValue(const QString& name) { environment_.remove(name); }

    // Settings of a person who has been through the first-setup step, with the interface in `language`
    // ("zh-Hans", "en", "fr").
    void presetReturningPerson(const QString& language) const;
    // Writes the guest learning history the program reads at start; false when it could not.
    bool presetGuestHistory(const QJsonArray& records) const;

    // Starts the program in the background.
    bool start(const QStringList& arguments = {});
    // Runs one more launch to its end.
    Run run(const QStringList& arguments, int timeoutMs = 60000) const;

    qint64 pid() const { return process_.processId(); }
    bool isRunning() const { return process_.state() == QProcess::Running; }
    // Waits for the program's main window to be mapped.
    std::optional<X11Display::Window> waitForWindow(const X11Display& display, int timeoutMs = 20000) const;
    // Sends `signal` and waits for the end; the exit status, or nothing when it did not end
    // normally within the time.
    std::optional<int> stop(int signal, int timeoutMs = 20000);
    QByteArray standardOutput();
    QByteArray standardError();

    // The program's test hook on the session bus (started with ORVEL_TEST_HOOKS=1): the state
    // of its store and router (keys as the hook names them; empty when it did not answer).
    QVariantMap state() const;
    // Waits until `shown` holds while asking the test hook all the while; false, with the reason in
    // `failure`, when it was not shown in time or a call went unanswered for a second (the program froze).
    bool showsWhileAnswering(const std::function<bool()>& shown, std::string& failure, int timeoutMs = 60000) const;
    // Calls a method of the test hook; whether it answered.
    bool callHook(const QString& method, const QVariantList& arguments = {}) const;

    // The learning history of the account `accountID` as the program stored it; empty when none is stored.
    QJsonArray history(const QString& accountID) const;

    // The folders in the program's temporary folder whose names begin with `prefix`.
    QStringList tempEntries(const QString& prefix) const;

private:
    QString binary_;
    QTemporaryDir folder_;
    QProcessEnvironment environment_;
    QProcess process_;
    // The launches run() made, whose processes end with this object.
    mutable std::vector<std::unique_ptr<QProcess>> launches_;
    QByteArray output_;
    QByteArray error_;
};

// The loopback stub of the hosted services as a program beside the application: it plays the
// replies of a script (a JSON array, as orvel_hosted_stub reads it) until it is destroyed.
class HostedStubProgram {
public:
    explicit HostedStubProgram(const QString& scriptFile);
    // The script written into a file of its own first.
    explicit HostedStubProgram(const QJsonArray& script);
    ~HostedStubProgram();

    // Empty when the stub did not start.
    const QString& baseUrl() const { return baseUrl_; }
    // What arrived so far ({"method", "path", "headers", "body"}), and the contracts broken.
    QJsonArray requests() const;
    QJsonArray violations() const;
    // How many requests of `method` and `path` arrived.
    int count(const QByteArray& method, const QByteArray& path) const;

private:
    void start(const QString& scriptFile);
    QJsonArray control(const QString& path) const;

    QTemporaryDir folder_;
    QProcess process_;
    QString baseUrl_;
};

}  // namespace orveltest
