#include "app/shell/build_info.h"

// Generated on every build (see this folder's CMakeLists.txt); only this file depends on it.
#include "orvel_build_info.h"

namespace velquin {

QString BuildInfo::version() { return QStringLiteral(ORVEL_VERSION); }

QString BuildInfo::commit() { return QStringLiteral(ORVEL_BUILD_COMMIT); }

}  // namespace velquin
