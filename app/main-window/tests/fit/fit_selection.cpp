#include "app/main-window/tests/fit/fit_selection.h"

#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/floating_selection_panels.h"
#include "app/select-anywhere/selection_icon_panel.h"
#include "app/select-anywhere/tests/selection_test_doubles.h"

namespace fitwalk {

struct Selection::Doubles {
    std::shared_ptr<selectiontest::FakeDesktop> desktop = std::make_shared<selectiontest::FakeDesktop>();
    std::shared_ptr<selectiontest::FakeMonitors> monitors = std::make_shared<selectiontest::FakeMonitors>();
    std::shared_ptr<selectiontest::FakeStatusItem> statusItem = std::make_shared<selectiontest::FakeStatusItem>();
    std::shared_ptr<selectiontest::FakeReaders> readers = std::make_shared<selectiontest::FakeReaders>();
    std::shared_ptr<selectiontest::VirtualScheduler> timeline = std::make_shared<selectiontest::VirtualScheduler>();
    std::shared_ptr<selectiontest::FakeRepair> repair = std::make_shared<selectiontest::FakeRepair>();
};

Selection::Selection(velquin::AppStore& store, const velquin::AppStoreServices& fixture)
    : doubles_(std::make_unique<Doubles>()) {
    using namespace velquin;
    panels_ = std::make_shared<FloatingSelectionPanels>(
        DirectFloatServices{fixture.defaults, fixture.history, fixture.scheduler, fixture.clock, fixture.clipboard,
                            fixture.sessionToken},
        &store);
    DirectSelectionServices services;
    services.defaults = fixture.defaults;
    services.store = &store;
    services.desktop = doubles_->desktop;
    services.monitors = doubles_->monitors;
    services.statusItem = doubles_->statusItem;
    services.readers = doubles_->readers;
    services.scheduler = doubles_->timeline;
    services.panels = panels_;
    services.windows = fixture.windows;
    services.repair = doubles_->repair;
    services.clipboard = fixture.clipboard;
    controller_ = std::make_unique<DirectSelectionController>(services);
}

Selection::~Selection() = default;

void Selection::setTroubled(bool troubled) {
    doubles_->desktop->trusted = !troubled;
    doubles_->desktop->wayland = troubled;
    doubles_->desktop->nativeAccess = halvern::ShellPointer::Access::notInstalled;
    doubles_->repair->installed = !troubled;
    doubles_->repair->path = QStringLiteral("/home/student/Downloads/orvel-2026.12-source/build-run/app/orvel");
    controller_->refreshAuthorization();
}

}  // namespace fitwalk
