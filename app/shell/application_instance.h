#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

namespace halvern {
class SelectionServiceProvider;
struct SelectionRequest;
struct RefusedSelection;
}  // namespace halvern

namespace velquin {

// What a launch asks of the application, handed to the running copy when there is one.
struct LaunchRequest {
    QStringList urls;    // every argument that is not an option, in order
    bool setup = false;  // "--setup" was given

    // The arguments of a launch, the program path first.
    static LaunchRequest fromArguments(const QStringList& arguments);
    bool operator==(const LaunchRequest&) const = default;
};

// Keeps the application to one running copy per session and carries a later launch's request to
// that copy. The delegate's tests use a fake.
class ApplicationInstance {
public:
    // Whether this launch became the running copy, and who is when it did not.
    struct Claim {
        enum class Holder {
            thisCopy,      // this launch is the running copy
            runningCopy,   // another copy of Orvel is: requests go to it
            otherProgram,  // a program that is not Orvel holds the name: this launch runs without it
        };
        Holder holder = Holder::thisCopy;
        QString otherProgram;  // for otherProgram: which process it is, as a person reads it

        bool operator==(const Claim&) const = default;
    };

    virtual ~ApplicationInstance();

    // Tries to become the running copy.
    virtual Claim claim() = 0;
    // Gives the request to the running copy that claim() found; false when it could not be delivered.
    virtual bool handOver(const LaunchRequest& request) = 0;
    // Serves the selection entry (the desktop's "study this text" method) for the running copy.
    virtual void registerSelectionEntry(std::function<void(const halvern::SelectionRequest&)> receive) = 0;
    // Where that entry's refusals of the study-selection command go (after registerSelectionEntry).
    virtual void registerSelectionRefusals(std::function<void(const halvern::RefusedSelection&)> refuse) = 0;
    // Calls a method of the selection entry of the running copy that claim() found; its string
    // answer, or nothing when it could not be delivered.
    virtual std::optional<QString> callSelectionEntry(const QString& method, const QVariantList& arguments) = 0;
    // Where the running copy's requests from later launches go.
    virtual void setRequestHandler(std::function<void(const LaunchRequest&)> handler) = 0;
    // Gives up what claim() took, for a launch that does not run after all: a later launch then
    // claims it for itself rather than handing its request to this one.
    virtual void release() = 0;
};

// The running copy on the session bus: it owns the name "com.orvel.formac", serves the launch
// hand-over at "/com/orvel/formac" (the desktop's org.freedesktop.Application interface:
// Activate reopens, Open takes URLs, ActivateAction "setup" asks for the setup) and the selection
// entry at "/com/orvel/formac/Selection". Without a session bus every launch runs on its own.
// Any program of the user may take that name first: a later launch hands its request only to an
// owner that runs an Orvel program file, and addresses it by its unique connection name, so that
// nobody who takes the name meanwhile gets the request or the selected text.
class DBusApplicationInstance : public QObject, public ApplicationInstance {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    static inline const QString objectPath = QStringLiteral("/com/orvel/formac");
    static inline const QString interfaceName = QStringLiteral("org.freedesktop.Application");
    static inline const QString setupAction = QStringLiteral("setup");

    // The program file of the Debian package.
    static inline const QString installedProgram = QStringLiteral("/usr/bin/orvel");

    explicit DBusApplicationInstance(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                     QObject* parent = nullptr);
    ~DBusApplicationInstance() override;

    // Whether process `pid` runs one of the program files at `programs`: the very file (device and
    // inode, whatever path the process reached it by), or, after an upgrade replaced it while the
    // process ran, a deleted file of the super-user's that was at one of those paths. The GNOME
    // shell extension checks its callers the same way.
    static bool runsProgramFile(qint64 pid, const QStringList& programs);
    // The program files a running copy may run: this process's own and the installed one.
    static QStringList programFiles();

    Claim claim() override;
    bool handOver(const LaunchRequest& request) override;
    void registerSelectionEntry(std::function<void(const halvern::SelectionRequest&)> receive) override;
    void registerSelectionRefusals(std::function<void(const halvern::RefusedSelection&)> refuse) override;
    std::optional<QString> callSelectionEntry(const QString& method, const QVariantList& arguments) override;
    void setRequestHandler(std::function<void(const LaunchRequest&)> handler) override;
    void release() override;

public Q_SLOTS:
    // D-Bus methods of org.freedesktop.Application.
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& actionName, const QVariantList& parameter, const QVariantMap& platformData);

private:
    void deliver(const LaunchRequest& request);

    QDBusConnection bus_;
    bool registered_ = false;
    QString runningCopy_;  // the unique connection name of the running copy that claim() found
    std::function<void(const LaunchRequest&)> handler_;
    std::unique_ptr<halvern::SelectionServiceProvider> selectionEntry_;
};

}  // namespace velquin
