#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

class QWidget;

// The formula web view lives in a module of its own, liborvel-formulas.so, with Qt WebEngine and
// all it loads (Qt Quick, QML, the engine's own NSS), which the program opens when it first
// typesets a formula. Linked into the program, the web engine's library would be loaded at every
// start and would have the application object set up a shared OpenGL context on the way (Mesa's
// software renderer with LLVM under Xvfb), which no formula page uses while the pages are
// composed in software scenes.
//
// The module holds the web view alone; everything else of the formulas stays in the program, which
// hands the module what it needs of it when opening it. Both sides of the boundary are plain
// structures of functions and values, so no code of ours (not even a class's type information)
// is loaded twice into one process.
namespace velquin {

// What the module reads from the program, given when it is opened and kept until the process ends:
// where the formula folder and its page are, asked on every use since they may change, and how the
// web engine is to run, decided before the module loaded.
struct MeridMathHost {
    std::optional<QString> (*directory)();
    std::optional<QString> (*pagePath)();
    bool composedInSoftware;
    bool sandboxDisabled;
};

// What the program reaches of the module.
struct MeridMathViews {
    // A new formula web view, a child of `parent`, loading the formula page; `onHeight` and
    // `onWheel` get every height and wheel message of the page, unchecked, after the message's own
    // handling.
    QWidget* (*create)(QWidget* parent, std::function<void(const QVariant&)> onHeight,
                       std::function<void(const QVariant&)> onWheel);
    // Sends a view made by create() its content (one render call when it differs from the last).
    void (*setContent)(QWidget* view, const QString& text, qreal fontSize, bool dark, bool reminderCard);

    // The views of this process: the module linked into it (tests, benchmarks) or else opened from
    // its installed place relative to the program on the first call. Null when it cannot be opened:
    // formulas are then shown as text.
    static const MeridMathViews* shared();

    // Whether the formula pages are composed in software scenes: unless a Qt Quick backend is chosen
    // in the environment, they are, and then nothing of the web engine needs OpenGL.
    static bool composedInSoftware();
    // Whether the web engine runs without its sandbox (asked for in the environment).
    static bool sandboxDisabled();
};

}  // namespace velquin

// The module's one exported entry; the number changes whenever the types above change. The first
// call's `host` is the one the module keeps.
#define ORVEL_MERID_MATH_VIEWS_ENTRY "orvel_merid_math_views_v2"
extern "C" const velquin::MeridMathViews* orvel_merid_math_views_v2(const velquin::MeridMathHost* host);
