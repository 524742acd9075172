#pragma once

#include <memory>

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
    // Troubled: a copy outside the install locations, without the permission, on Wayland without
    // the shell extension, so that every note of the settings shows.
    void setTroubled(bool troubled);

private:
    struct Doubles;
    std::unique_ptr<Doubles> doubles_;
    std::shared_ptr<velquin::FloatingSelectionPanels> panels_;
    std::unique_ptr<velquin::DirectSelectionController> controller_;
};

}  // namespace fitwalk
