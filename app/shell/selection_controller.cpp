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
