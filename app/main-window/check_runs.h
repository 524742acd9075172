#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace velquin {

class AppStore;
class MainWindow;
class WorkspaceRouter;

// The scripted checks an outside harness asks for with the "--qa-smoke…" switches. Each switch
// present as a whole argument drives the running main window through one check, each time its
// workspace comes on screen, on the main queue with fixed delays between the steps, and reports by
// marker lines on standard error beginning "ORVEL_SMOKE_" (the tutor page also
// "ORVEL_QA_MERID_PAGE_"). A check never ends the process and never stops early: a failed
// condition only picks the failed marker. Several checks may run side by side.
//
//   --qa-smoke-account             the account sheet opens on the home page
//   --qa-smoke-settings            the settings sheet opens on the home page
//   --qa-smoke-selection-settings  the select-anywhere settings sheet opens on the home page
//   --qa-smoke-merid               a text handed to the tutor page, which opens inline, widens the
//                                  window, takes the text, and gives the window back on return
//   --qa-smoke                     a learning result handed to the home page, and a window shown
class CheckRuns : public QObject {
    Q_OBJECT
public:
    enum class Check { accountSheet, settingsSheet, selectionSettingsSheet, tutorPage, homeHandOver };
    using Writer = std::function<void(const QByteArray& line)>;

    // The checks the arguments (program path first) ask for, in the order they start.
    static QList<Check> requested(const QStringList& arguments);

    // Markers go to `write`, by default to standard error, flushed after each line.
    CheckRuns(QList<Check> checks, MainWindow& window, AppStore& store, WorkspaceRouter& router, Writer write = {},
              QObject* parent = nullptr);

    // Starts every requested check; called each time the main window's workspace comes on screen.
    void start();

    // The application's visible windows that are neither floating panels nor dialogs, in order.
    static QList<QWidget*> contentWindows();
    // Whether a visible modal dialog is attached to the window.
    static bool hasAttachedSheet(const QWidget* window);
    // "MainWindow id=Orvel.workspace title=Orvel main=true key=true frame=(1040.0, 800.0)".
    static QString describe(const QWidget* window);

private:
    void runSheetCheck(Check check);
    void runHomeHandOverCheck();
    void runTutorPageCheck();
    void write(const QByteArray& line);

    QList<Check> checks_;
    MainWindow& window_;
    AppStore& store_;
    WorkspaceRouter& router_;
    Writer write_;
};

}  // namespace velquin
