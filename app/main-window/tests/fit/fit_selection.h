#pragma once

#include <memory>

#include <QString>

#include "app/shell/app_store_services.h"

namespace velquin {
class AppStore;
class DirectSelectionController;
class FloatingSelectionPanels;
}  // namespace velquin

namespace fitwalk {

// Select-anywhere's controller over the desktop's test doubles, with the program's floating panels
// (the bulb and the answer panel) over the store's services.
class Selection {
public:
    Selection(velquin::AppStore& store, const velquin::AppStoreServices& services);
    ~Selection();

    velquin::DirectSelectionController& controller() { return *controller_; }
    velquin::FloatingSelectionPanels& panels() { return *panels_; }
    // A copy at `path`, outside the install locations, without the permission, on a Wayland desktop
    // without the shell extension: every note of the settings shows. Back to the installed copy with
    // the permission on X11.
    void troubled(const QString& path);
    void untroubled();

private:
    struct Doubles;
    std::unique_ptr<Doubles> doubles_;
    std::shared_ptr<velquin::FloatingSelectionPanels> panels_;
    std::unique_ptr<velquin::DirectSelectionController> controller_;
};

}  // namespace fitwalk
