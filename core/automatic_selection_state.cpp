#include "core/automatic_selection_state.h"

namespace tamsel {

void AutomaticSelectionState::setEnabled(bool value) {
    if (value == enabled) return;
    enabled = value;
    monitorRunning = false;
    monitorStartAttempted = false;
}

void AutomaticSelectionState::updateAuthorization(bool value) {
    authorized = value;
    if (!value) monitorRunning = false;
}

bool AutomaticSelectionState::shouldStartMonitor() const {
    return enabled && authorized && !monitorRunning && !monitorStartAttempted;
}

void AutomaticSelectionState::recordMonitorStart(bool success) {
    monitorStartAttempted = true;
    ++monitorStartAttempts;
    monitorRunning = success;
}

void AutomaticSelectionState::stopMonitor() { monitorRunning = false; }

void AutomaticSelectionState::retryMonitor() { monitorStartAttempted = false; }

bool AutomaticSelectionState::takePermissionPrompt() {
    if (authorized || permissionPromptRequested) return false;
    permissionPromptRequested = true;
    return true;
}

}  // namespace tamsel
