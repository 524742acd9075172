#pragma once

#include <QString>

namespace velquin {

// What the program was built from: the project's version and the git commit of the source tree at
// build time, shortened ("unknown" when the tree was not a git work tree).
class BuildInfo {
public:
    static QString version();
    static QString commit();
};

}  // namespace velquin
