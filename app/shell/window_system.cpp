#include "app/shell/window_system.h"

namespace velquin {

WindowSystem::~WindowSystem() = default;

namespace window_rules {

std::optional<WindowSystem::Window> mainWorkspaceWindow(const QList<WindowSystem::Window>& windows) {
    for (const auto& window : windows) {
        if (!window.identifier.isEmpty() && window.identifier == workspaceWindowIdentifier) return window;
    }
    for (const auto& window : windows) {
        if (window.canBecomeMain && !window.isPanel) return window;
    }
    return std::nullopt;
}

std::optional<WindowSystem::Window> taggedWorkspaceWindow(const QList<WindowSystem::Window>& windows) {
    for (const auto& window : windows) {
        if (window.identifier == workspaceWindowIdentifier && !window.isPanel && !window.isSheet) return window;
    }
    return std::nullopt;
}

bool hasVisibleWorkspaceWindow(const QList<WindowSystem::Window>& windows) {
    for (const auto& window : windows) {
        if (window.identifier == workspaceWindowIdentifier && window.isVisible) return true;
    }
    return false;
}

}  // namespace window_rules
}  // namespace velquin
