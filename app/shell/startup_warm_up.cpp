#include "app/shell/startup_warm_up.h"

#include <fontconfig/fontconfig.h>

#include "app/shell/ui_strings.h"

namespace velquin {

StartupWarmUp::StartupWarmUp()
    : thread_([] {
          // The library keeps the first configuration loaded; a second caller meanwhile loads its
          // own and the later one is dropped, so a race costs time, never correctness.
          FcInit();
          UIStrings::prepare();
      }) {}

StartupWarmUp::~StartupWarmUp() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace velquin
