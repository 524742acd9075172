#pragma once

#include <QMap>
#include <QString>

#include <QCoroTask>

#include <chrono>

#include "core/window_presentation_readiness.h"

namespace velquin {

class DirectSelectionController;
class FloatingSelectionPanels;

// The built-in checks of select-anywhere's windows, run on a controller made for them
// (DirectSelectionController::makeForWindowChecks): a text handed over by the text service, the
// bulb and its click, failed automatic and manual reads, long and oversized handed-over texts, the
// reopen of a hidden, minimised and closed scratch main window, and activation. Each check records
// a flag and the run goes on; the controller's switches, main window and the store's presentation
// are put back at the end. Main thread; the waits let the event loop run.
class WindowRegressionChecklist {
public:
    WindowRegressionChecklist(DirectSelectionController& controller, FloatingSelectionPanels& panels);

    QCoro::Task<QMap<QString, bool>> run();

private:
    using Outcome = tamsel::WindowPresentationReadiness::Outcome;

    // Samples the answer panel every 50 ms until it has been visible, on the current desktop and
    // not covered for 0.12 s, or 2.5 s passed; writes what it saw into the controller's details.
    QCoro::Task<Outcome> waitForResultPresentation();

    DirectSelectionController& controller_;
    FloatingSelectionPanels& panels_;
};

}  // namespace velquin
