// The test hook of a build without ORVEL_TEST_HOOKS: nothing is registered and nothing is kept.
#include "app/shell/application_test_hook.h"

namespace velquin {

void ApplicationTestHook::registerIfWanted(AppStore&, WorkspaceRouter&, QObject*) {}

void ApplicationTestHook::addState(std::function<QVariantMap()>) {}

}  // namespace velquin
