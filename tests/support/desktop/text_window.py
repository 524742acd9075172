#!/usr/bin/python3
"""A native GTK text window for desktop tests on a Wayland session: a password entry above a text
view with the given lines, fullscreen so that its place on the screen is the monitor's. Once the
window is fullscreen and laid out it prints one JSON line: its process id, the screen place of the
entry {"x", "y", "width", "height"} and, for every line of the text, the line's top and height and
the x of each boundary between its characters ("x": one more value than characters). It prints
"pointer" on a line of its own when the pointer first moves over it after that: input reaches it.

Usage: text_window.py 3|4|4-password|4-peek PASSWORD LINE...
(4-password: GTK 4's PasswordEntry in place of an Entry with its text hidden; 4-peek: that entry with its
peek icon, turned on, so that the password is shown in clear.) With
ORVEL_TEXT_WINDOW_WINDOWED set the window is an ordinary one of 800 x 400 instead, and the places are
given from its own top left corner.
"""
import json
import os
import sys

import gi

version, _, kind = sys.argv[1].partition("-")
gi.require_version("Gtk", version + ".0")
gi.require_version("Gdk", version + ".0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

password, lines = sys.argv[2], sys.argv[3:]
GTK4 = version == "4"
WINDOWED = bool(os.environ.get("ORVEL_TEXT_WINDOW_WINDOWED"))
CSS = b"textview, entry { font: 20px monospace; }"


def origin(widget, window):
    """Where the widget's (0, 0) is on the screen: the fullscreen window starts at the monitor's."""
    x, y = widget.translate_coordinates(window, 0, 0)
    if GTK4:
        sx, sy = window.get_native().get_surface_transform()
        x, y = x + sx, y + sy
    return x, y


def layout(window, view, entry):
    buffer = view.get_buffer()
    vx, vy = origin(view, window)
    result = {"pid": os.getpid(), "lines": []}
    for number, line in enumerate(lines):
        xs, top, height = [], 0, 0
        for column in range(len(line) + 1):
            found = buffer.get_iter_at_line_offset(number, column)
            spot = found[1] if GTK4 and isinstance(found, tuple) else found
            rect = view.get_iter_location(spot)
            x, y = view.buffer_to_window_coords(Gtk.TextWindowType.WIDGET, rect.x, rect.y)
            xs.append(vx + x)
            top, height = vy + y, rect.height
        result["lines"].append({"top": top, "height": height, "x": xs})
    if GTK4:
        bounds = entry.compute_bounds(window)[1]
        sx, sy = window.get_native().get_surface_transform()
        ex, ey, ew, eh = bounds.get_x() + sx, bounds.get_y() + sy, bounds.get_width(), bounds.get_height()
    else:
        (ex, ey), ew, eh = origin(entry, window), entry.get_allocated_width(), entry.get_allocated_height()
    result["entry"] = {"x": ex, "y": ey, "width": ew, "height": eh}
    print(json.dumps(result), flush=True)


def main():
    style = Gtk.CssProvider()
    style.load_from_data(CSS)
    window = Gtk.Window(title="Orvel test text")
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=20)
    if kind in ("password", "peek"):
        entry = Gtk.PasswordEntry(show_peek_icon=kind == "peek")
        entry.set_text(password)
        if kind == "peek":
            # What a click on the peek icon does: the entry's text widget shows its text.
            child = entry.get_first_child()
            while child and not isinstance(child, Gtk.Text):
                child = child.get_next_sibling()
            child.set_visibility(True)
    else:
        entry = Gtk.Entry(visibility=False, text=password)
    view = Gtk.TextView(editable=False, cursor_visible=False, left_margin=40, top_margin=40)
    view.get_buffer().set_text("\n".join(lines))
    for widget in (entry, view):
        widget.get_style_context().add_provider(style, Gtk.STYLE_PROVIDER_PRIORITY_APPLICATION)
    if GTK4:
        view.set_vexpand(True)
        box.append(entry)
        box.append(view)
        window.set_child(box)
        window.connect("close-request", lambda *_: loop.quit())
    else:
        box.pack_start(entry, False, False, 0)
        box.pack_start(view, True, True, 0)
        window.add(box)
        window.connect("destroy", lambda *_: loop.quit())
    if WINDOWED:
        window.set_default_size(800, 400)
    else:
        window.fullscreen()
    window.present() if GTK4 else window.show_all()
    view.grab_focus()

    # Laid out once the window is fullscreen and has the monitor's size for a few frames.
    state = {"frames": 0}

    def check():
        if WINDOWED:
            return settled(window.get_mapped())
        if GTK4:
            fullscreen = window.is_fullscreen()
        else:
            fullscreen = bool(window.get_window().get_state() & Gdk.WindowState.FULLSCREEN)
        if GTK4:
            monitor = window.get_display().get_monitor_at_surface(window.get_surface()).get_geometry()
        else:
            monitor = window.get_screen().get_display().get_monitor_at_window(window.get_window()).get_geometry()
        size = (window.get_width(), window.get_height()) if GTK4 else window.get_size()
        return settled(fullscreen and tuple(size) == (monitor.width, monitor.height))

    def settled(shown):
        if shown:
            state["frames"] += 1
            if state["frames"] == 3:
                layout(window, view, entry)
                state["laid out"] = True
                return GLib.SOURCE_REMOVE
        return GLib.SOURCE_CONTINUE

    def moved(*_):
        if state.get("laid out") and not state.get("pointer"):
            state["pointer"] = True
            print("pointer", flush=True)
        return False

    if GTK4:
        motion = Gtk.EventControllerMotion()
        motion.set_propagation_phase(Gtk.PropagationPhase.CAPTURE)
        motion.connect("motion", moved)
        window.add_controller(motion)
    else:
        view.connect("motion-notify-event", moved)

    GLib.timeout_add(50, check)
    loop = GLib.MainLoop()
    loop.run()


if __name__ == "__main__":
    main()
