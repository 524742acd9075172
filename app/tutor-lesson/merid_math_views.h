#pragma once

#include <QString>
#include <QVariant>

#include <functional>

class QWidget;

// The formula web view lives in a module of its own, liborvel-formulas.so, with Qt WebEngine and
// all it loads (Qt Quick, QML, the engine's own NSS), which the program opens when it first
// typesets a formula. Linked into the program, the web engine's library would be loaded at every
// start and would have the application object set up a shared OpenGL context on the way (Mesa's
// software renderer with LLVM under Xvfb), which no formula page uses while the pages are
// composed in software scenes.
namespace velquin {

class MeridMathViews {
public:
    virtual ~MeridMathViews() = default;

    // A new formula web view, a child of `parent`, loading its page; `onHeight` gets every height
    // message of the page, unchecked, after the message's own handling.
    virtual QWidget* create(QWidget* parent, std::function<void(const QVariant&)> onHeight) const = 0;
    // Sends a view made by create() its content (one render call when it differs from the last).
    virtual void setContent(QWidget* view, const QString& text, qreal fontSize, bool dark,
                            bool reminderCard) const = 0;

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

// The module's one exported entry; the number changes whenever the class above changes.
#define ORVEL_MERID_MATH_VIEWS_ENTRY "orvel_merid_math_views_v1"
extern "C" const velquin::MeridMathViews* orvel_merid_math_views_v1();
