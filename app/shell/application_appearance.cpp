#include "app/shell/application_appearance.h"

#include <QGuiApplication>

namespace velquin {

ApplicationAppearance& ApplicationAppearance::shared() {
    static ApplicationAppearance* appearance = new ApplicationAppearance();
    return *appearance;
}

ApplicationAppearance::ApplicationAppearance() {
    connect(&desktop_, &halvern::DesktopColorScheme::schemeChanged, this, [this] { update(); });
}

ColorScheme ApplicationAppearance::colorScheme() const { return shown_; }

void ApplicationAppearance::apply(InterfaceAppearance appearance) {
    if (appearance == InterfaceAppearance::system) desktop_.start();
    applied_ = appearance;
    update();
}

void ApplicationAppearance::restore(std::optional<InterfaceAppearance> appearance) {
    if (appearance) {
        apply(*appearance);
        return;
    }
    applied_.reset();
    const ColorScheme before = shown_;
    shown_ = ColorScheme::light;
    if (originalPalette_ && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setPalette(*originalPalette_);
    if (before != shown_) Q_EMIT colorSchemeChanged(shown_);
}

void ApplicationAppearance::update() {
    if (!applied_) return;
    ColorScheme scheme = ColorScheme::light;
    switch (*applied_) {
    case InterfaceAppearance::system: scheme = desktop_.scheme(); break;
    case InterfaceAppearance::light: scheme = ColorScheme::light; break;
    case InterfaceAppearance::dark: scheme = ColorScheme::dark; break;
    }
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (!originalPalette_) originalPalette_ = QGuiApplication::palette();
        QGuiApplication::setPalette(palette(scheme));
    }
    const ColorScheme before = shown_;
    shown_ = scheme;
    if (before != scheme) Q_EMIT colorSchemeChanged(scheme);
}

QPalette ApplicationAppearance::palette(ColorScheme scheme) {
    struct Colors {
        QColor window, windowText, base, alternateBase, text, button, buttonText, highlight, highlightedText,
            link, mid, dark, light, placeholder, toolTipBase, toolTipText, disabledText;
    };
    const Colors c = scheme == ColorScheme::dark
        ? Colors{QColor(33, 31, 29), QColor(247, 240, 230), QColor(43, 40, 37), QColor(50, 47, 44),
                 QColor(247, 240, 230), QColor(55, 51, 48), QColor(247, 240, 230), QColor(245, 92, 59),
                 QColor(255, 255, 255), QColor(255, 138, 110), QColor(80, 75, 70), QColor(20, 19, 18),
                 QColor(75, 70, 66), QColor(204, 194, 183, 160), QColor(55, 51, 48), QColor(247, 240, 230),
                 QColor(130, 122, 115)}
        : Colors{QColor(248, 245, 239), QColor(52, 44, 39), QColor(255, 253, 248), QColor(244, 240, 233),
                 QColor(52, 44, 39), QColor(240, 236, 229), QColor(52, 44, 39), QColor(245, 92, 59),
                 QColor(255, 255, 255), QColor(200, 65, 36), QColor(200, 193, 184), QColor(160, 152, 143),
                 QColor(255, 255, 255), QColor(117, 107, 99, 160), QColor(255, 253, 248), QColor(52, 44, 39),
                 QColor(170, 162, 154)};
    QPalette p;
    p.setColor(QPalette::Window, c.window);
    p.setColor(QPalette::WindowText, c.windowText);
    p.setColor(QPalette::Base, c.base);
    p.setColor(QPalette::AlternateBase, c.alternateBase);
    p.setColor(QPalette::Text, c.text);
    p.setColor(QPalette::Button, c.button);
    p.setColor(QPalette::ButtonText, c.buttonText);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, c.highlight);
    p.setColor(QPalette::HighlightedText, c.highlightedText);
    p.setColor(QPalette::Link, c.link);
    p.setColor(QPalette::LinkVisited, c.link);
    p.setColor(QPalette::Mid, c.mid);
    p.setColor(QPalette::Midlight, c.light);
    p.setColor(QPalette::Light, c.light);
    p.setColor(QPalette::Dark, c.dark);
    p.setColor(QPalette::Shadow, QColor(0, 0, 0, 90));
    p.setColor(QPalette::PlaceholderText, c.placeholder);
    p.setColor(QPalette::ToolTipBase, c.toolTipBase);
    p.setColor(QPalette::ToolTipText, c.toolTipText);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, c.disabledText);
    return p;
}

}  // namespace velquin
