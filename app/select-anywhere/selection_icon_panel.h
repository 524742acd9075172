#pragma once

#include <QWidget>

namespace velquin {

class SelectionIconView;

// The tiny floating window that holds the bulb beside a selection: frameless, transparent around
// the bulb, above other programs' windows, and never focused: it refuses the keyboard and tells
// the window manager so (no input hint, no focus protocol), so the program the user selected in
// stays the active one. Shown without activating this program.
class SelectionIconPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 36;

    explicit SelectionIconPanel(QWidget* parent = nullptr);

    SelectionIconView* iconView() const { return view_; }

protected:
    bool event(QEvent* event) override;

private:
    SelectionIconView* view_;
};

}  // namespace velquin
