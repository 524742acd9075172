#pragma once

// When to start the global mouse monitor of automatic select-anywhere, how often to retry a failed
// start, and whether the accessibility prompt may still be shown in this run.
namespace tamsel {

struct AutomaticSelectionState {
    bool enabled = false;                  // the user's switch for automatic reading
    bool authorized = false;               // the accessibility permission is granted
    bool monitorRunning = false;           // the mouse monitor is installed and running
    bool monitorStartAttempted = false;    // a start was tried since the last change
    int monitorStartAttempts = 0;          // starts tried in this run (diagnostics; never reset)
    bool permissionPromptRequested = false;

    explicit AutomaticSelectionState(bool enabled) : enabled(enabled) {}

    bool operator==(const AutomaticSelectionState& other) const = default;

    // A change of the switch stops the monitor's bookkeeping and allows a new start.
    void setEnabled(bool value);
    // Losing the permission marks the monitor stopped; a start attempt stays recorded.
    void updateAuthorization(bool value);
    bool shouldStartMonitor() const;
    void recordMonitorStart(bool success);
    void stopMonitor();
    void retryMonitor();
    // True exactly once while unauthorized: the caller shows the prompt then.
    bool takePermissionPrompt();
};

}  // namespace tamsel
