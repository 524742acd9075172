#pragma once

#include <QObject>
#include <QPalette>

#include <optional>

#include "app/shell/interface_settings.h"
#include "platform/desktop_color_scheme.h"

namespace velquin {

using halvern::ColorScheme;

// The appearance of the whole process: light and dark palettes of our own, or the desktop's
// scheme for `system`. Without a GUI application the choice is only recorded.
class ApplicationAppearance : public QObject {
    Q_OBJECT
public:
    static ApplicationAppearance& shared();

    // The appearance last applied; nothing before the first `apply`.
    std::optional<InterfaceAppearance> applied() const { return applied_; }
    // The scheme the application shows now.
    ColorScheme colorScheme() const;

    void apply(InterfaceAppearance appearance);
    // Back to the state before any appearance was applied (the self-check's restore).
    void restore(std::optional<InterfaceAppearance> appearance);

    static QPalette palette(ColorScheme scheme);

Q_SIGNALS:
    void colorSchemeChanged(halvern::ColorScheme scheme);

private:
    ApplicationAppearance();
    void update();

    halvern::DesktopColorScheme desktop_;
    std::optional<InterfaceAppearance> applied_;
    std::optional<QPalette> originalPalette_;
    ColorScheme shown_ = ColorScheme::light;
};

}  // namespace velquin
