#include <gtest/gtest.h>

#include "core/automatic_selection_state.h"

using namespace tamsel;

TEST(AutomaticSelectionState, MonitorStartsOnceUntilRetriedOrSwitched) {
    AutomaticSelectionState state(true);
    EXPECT_FALSE(state.shouldStartMonitor());
    state.updateAuthorization(true);
    EXPECT_TRUE(state.shouldStartMonitor());

    state.recordMonitorStart(false);
    EXPECT_FALSE(state.shouldStartMonitor());
    EXPECT_EQ(state.monitorStartAttempts, 1);
    state.setEnabled(true);  // same value: nothing changes
    EXPECT_TRUE(state.monitorStartAttempted);
    EXPECT_FALSE(state.shouldStartMonitor());
    state.retryMonitor();
    EXPECT_TRUE(state.shouldStartMonitor());

    state.recordMonitorStart(true);
    EXPECT_EQ(state.monitorStartAttempts, 2);
    EXPECT_TRUE(state.monitorRunning);
    state.updateAuthorization(false);
    EXPECT_FALSE(state.monitorRunning);
    EXPECT_TRUE(state.monitorStartAttempted);
    state.updateAuthorization(true);
    EXPECT_FALSE(state.shouldStartMonitor());  // a lost permission does not allow a new start by itself
    state.retryMonitor();
    EXPECT_TRUE(state.shouldStartMonitor());

    state.recordMonitorStart(true);
    state.stopMonitor();
    EXPECT_FALSE(state.monitorRunning);
    EXPECT_FALSE(state.shouldStartMonitor());

    // Switching off and on clears the attempt; the count goes on.
    state.setEnabled(false);
    EXPECT_FALSE(state.shouldStartMonitor());
    EXPECT_FALSE(state.monitorStartAttempted);
    state.setEnabled(true);
    EXPECT_TRUE(state.shouldStartMonitor());
    EXPECT_EQ(state.monitorStartAttempts, 3);
}

TEST(AutomaticSelectionState, PermissionPromptAtMostOnce) {
    AutomaticSelectionState state(false);
    EXPECT_TRUE(state.takePermissionPrompt());
    EXPECT_FALSE(state.takePermissionPrompt());

    AutomaticSelectionState authorized(true);
    authorized.updateAuthorization(true);
    EXPECT_FALSE(authorized.takePermissionPrompt());
    EXPECT_FALSE(authorized.permissionPromptRequested);
    authorized.updateAuthorization(false);
    EXPECT_TRUE(authorized.takePermissionPrompt());
}
