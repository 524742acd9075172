#include "app/select-anywhere/selection_icon_panel.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QVBoxLayout>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

#include "app/select-anywhere/floating_bulb_artwork.h"
#include "app/select-anywhere/selection_icon_view.h"

namespace velquin {

namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Whether a compositing manager runs: only then do transparent pixels show what lies beneath.
bool isCompositing() {
    xcb_connection_t* connection = x11Connection();
    if (!connection) return true;  // other platforms composite
    // The program shows its windows on the display's first screen.
    const xcb_atom_t selection = internAtom(connection, "_NET_WM_CM_S0");
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

// Tells the window manager never to give the window the keyboard: the input hint off in WM_HINTS
// and no WM_TAKE_FOCUS among its protocols (Qt offers it on every window).
void refuseFocus(WId window) {
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window) return;
    const xcb_atom_t wmHints = XCB_ATOM_WM_HINTS;
    constexpr uint32_t inputHint = 1;
    xcb_get_property_reply_t* hints = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, xcb_window_t(window), wmHints, wmHints, 0, 9), nullptr);
    uint32_t values[9] = {};
    if (hints && hints->format == 32) {
        const int length = std::min(xcb_get_property_value_length(hints) / 4, 9);
        std::copy_n(static_cast<const uint32_t*>(xcb_get_property_value(hints)), length, values);
    }
    std::free(hints);
    values[0] |= inputHint;
    values[1] = 0;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window), wmHints, wmHints, 32, 9, values);

    const xcb_atom_t protocols = internAtom(connection, "WM_PROTOCOLS");
    const xcb_atom_t takeFocus = internAtom(connection, "WM_TAKE_FOCUS");
    xcb_get_property_reply_t* listed = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, xcb_window_t(window), protocols, XCB_ATOM_ATOM, 0, 32), nullptr);
    if (listed && listed->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(listed));
        const int count = xcb_get_property_value_length(listed) / 4;
        QList<xcb_atom_t> kept;
        for (int i = 0; i < count; ++i)
            if (atoms[i] != takeFocus) kept.append(atoms[i]);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window), protocols, XCB_ATOM_ATOM, 32,
                            uint32_t(kept.size()), kept.constData());
    }
    std::free(listed);
    xcb_flush(connection);
}

// Without a compositor the window is cut to the bulb's shape instead.
QRegion bulbShape() {
    QImage picture(SelectionIconPanel::side, SelectionIconPanel::side, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        FloatingBulbArtwork::paint(painter, picture.rect(), ColorScheme::light, FloatingBulbPhase::idle);
    }
    QRegion shape;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) >= 128) shape += QRect(x, y, 1, 1);
    return shape;
}

}  // namespace

SelectionIconPanel::SelectionIconPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      view_(new SelectionIconView(this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(side, side);
    if (isCompositing()) {
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        setMask(bulbShape());
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

bool SelectionIconPanel::event(QEvent* event) {
    // Once the platform window exists, and again before each map (Qt writes the hints anew).
    if (event->type() == QEvent::WinIdChange || event->type() == QEvent::Show) refuseFocus(winId());
    return QWidget::event(event);
}

}  // namespace velquin
