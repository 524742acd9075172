#pragma once

#include <QString>

#include <optional>

namespace velquin {

// The formula page and the typesetting library it loads, in the folder "MeridMath" of the
// program's data: "math.html", "katex.min.js", "katex.min.css", "auto-render.min.js" and the
// library's fonts.
class MeridMathAssets {
public:
    MeridMathAssets() = delete;

    // The folder: the one set by `setDirectory`, else "../share/orvel-formac/MeridMath" beside the
    // program, else the copy the build made; none when none of them exists.
    static std::optional<QString> directory();
    // True when the folder exists and holds the four files (looked at on every call).
    static bool available();
    // The page in the folder.
    static std::optional<QString> pagePath();

    // Replaces the folder (an empty string: no folder at all); none puts back the usual lookup.
    static void setDirectory(std::optional<QString> directory);

    static const char* const fileNames[4];
};

}  // namespace velquin
