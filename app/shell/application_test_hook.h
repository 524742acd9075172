#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace velquin {

class AppStore;
class WorkspaceRouter;

// Lets the end-to-end tests look at the running program from outside: on the session bus at
// "/com/orvel/formac/Test", interface "com.orvel.formac.Test", registered only when the program
// was built with the CMake option ORVEL_TEST_HOOKS (Debug builds by default) and the environment
// sets ORVEL_TEST_HOOKS=1. Without the option both operations do nothing.
//   State() -> a{sv}: the store's sheet flags, selectionPresentation, isBusy, pdfChoice (whether
//                     one is pending), status, the router's page ("home", "history", "coach"), and
//                     installedCopy (whether the accessibility repair takes this copy for the
//                     installed one)
//   ImportFile(s path): the store imports the file as the import button does
//   OpenPage(s page):   the router opens "home", "history" or "coach" as the sidebar does
//   ReceiveSelection(s text, s mode): the store takes a selection into the compact selection view
//                     ("translate", "explain" or "practice"; any other mode is ignored)
// Other areas add their own entries to State() with addState.
class ApplicationTestHook {
public:
    static inline const QString objectPath = QStringLiteral("/com/orvel/formac/Test");

    ApplicationTestHook() = delete;

    // Registers a hook on the session bus when the environment asks for it.
    static void registerIfWanted(AppStore& store, WorkspaceRouter& router, QObject* owner);
    // Adds the entries `state` gives to every answer of State().
    static void addState(std::function<QVariantMap()> state);
};

}  // namespace velquin
