#include "app/shell/selection_controller.h"

#include "app/shell/app_store.h"
#include "app/shell/window_system.h"

namespace velquin {

SelectionController::~SelectionController() = default;

SelectionController::WindowClose SelectionController::windowClose(bool statusItemReachable, bool automaticSelection,
                                                                  bool explained) {
    if (statusItemReachable) return WindowClose::hide;
    if (!automaticSelection) return WindowClose::quit;
    return explained ? WindowClose::hide : WindowClose::explainThenHide;
}

SelectionController::HandOverEnd SelectionController::handOverEnd(bool statusItemReachable, bool startedForHandOver,
                                                                  bool automaticSelection, bool explained) {
    if (statusItemReachable) return HandOverEnd::stay;
    if (startedForHandOver) return HandOverEnd::quit;
    if (!automaticSelection) return HandOverEnd::showWindow;
    return explained ? HandOverEnd::stay : HandOverEnd::explainThenHide;
}

WindowOnlySelectionController::WindowOnlySelectionController(AppStore& store, std::shared_ptr<WindowSystem> windows,
                                                             QObject* parent)
    : SelectionController(parent), store_(store), windows_(std::move(windows)) {}

void WindowOnlySelectionController::openWorkspace() {
    store_.showFullWorkspace();
    windows_->openWorkspace();
}

void WindowOnlySelectionController::openDirectSettings() {
    openWorkspace();
    store_.openDirectSelectionSettings();
}

}  // namespace velquin
