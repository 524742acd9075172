// A program of two display connections, as LibreOffice is on its own X11 interface: its window on one,
// and the PRIMARY selection owned from a bare window of the other, which carries no property at all
// (no process id, no class), so only the X server can tell whose it is.
//
// `orvel_bare_selection X Y` shows, at X,Y, a password field (its text drawn masked) above a line of
// ordinary words, and prints "ready" once it is drawn. A double click or a drag in the field, or Ctrl+A
// after a click in it, selects the password, which goes into PRIMARY in clear; the same on the line
// selects the line. It copies nothing and is not on the accessibility bus.
//
// `orvel_bare_selection X Y fork` connects the selection's display connection, then forks and lets the
// parent end, as xclip does: the X server names the ended parent as the process of the selection's
// window. The parent prints "ready CHILD" (the process that goes on, and shows the window) once the
// child's window is drawn; the child writes nothing.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int width = 600, height = 200;
struct Box {
    int x, y, w, h;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};
constexpr Box field{20, 20, 300, 40};
constexpr Box line{20, 90, 400, 30};
const std::string password = "hunter2secret";
const std::string words = "Ordinary words here";
int readyPipe = -1;  // in a forked child: where it tells the parent that its window is drawn

struct Program {
    Display* shown = nullptr;  // the window's connection
    Display* owner = nullptr;  // the selection's connection
    Window window = 0;
    Window bare = 0;
    const Box* focus = nullptr;     // the last box clicked
    const Box* selected = nullptr;  // the box whose text PRIMARY holds
    Time pressTime = 0;
    int pressX = -1, pressY = -1;

    void draw() {
        GC gc = DefaultGC(shown, DefaultScreen(shown));
        XClearWindow(shown, window);
        for (const Box* box : {&field, &line}) {
            if (box == selected) XDrawRectangle(shown, window, gc, box->x - 2, box->y - 2, box->w + 4, box->h + 4);
            XDrawRectangle(shown, window, gc, box->x, box->y, box->w, box->h);
        }
        const std::string mask(password.size(), '*');
        XDrawString(shown, window, gc, field.x + 8, field.y + 25, mask.c_str(), int(mask.size()));
        XDrawString(shown, window, gc, line.x + 8, line.y + 20, words.c_str(), int(words.size()));
        XFlush(shown);
    }

    void select(const Box* box, Time time) {
        if (!box) return;
        selected = box;
        XSetSelectionOwner(owner, XA_PRIMARY, bare, time);
        XFlush(owner);
        draw();
    }

    void serve(const XSelectionRequestEvent& request) {
        const Atom targets = XInternAtom(owner, "TARGETS", False);
        const Atom utf8 = XInternAtom(owner, "UTF8_STRING", False);
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.requestor = request.requestor;
        reply.selection = request.selection;
        reply.target = request.target;
        reply.time = request.time;
        reply.property = request.property ? request.property : request.target;
        const std::string& text = selected == &field ? password : words;
        if (!selected || request.selection != XA_PRIMARY) {
            reply.property = None;
        } else if (request.target == targets) {
            const Atom offered[] = {targets, utf8, XA_STRING};
            XChangeProperty(owner, request.requestor, reply.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 3);
        } else if (request.target == utf8 || request.target == XA_STRING) {
            XChangeProperty(owner, request.requestor, reply.property, request.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
        } else {
            reply.property = None;
        }
        XSendEvent(owner, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        XFlush(owner);
    }

    void handleShown(XEvent& event) {
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) {
                draw();
                static bool told = false;
                if (!told) {
                    std::puts("ready");
                    std::fflush(stdout);
                    if (readyPipe >= 0 && write(readyPipe, "r", 1) == 1) close(readyPipe);
                    told = true;
                }
            }
            break;
        case ButtonPress: {
            if (event.xbutton.button != Button1) break;
            const XButtonEvent& press = event.xbutton;
            const bool second = pressTime && press.time - pressTime < 400 && std::abs(press.x - pressX) < 5 &&
                                std::abs(press.y - pressY) < 5;
            focus = field.contains(press.x, press.y) ? &field : line.contains(press.x, press.y) ? &line : nullptr;
            pressTime = second ? 0 : press.time;
            pressX = press.x;
            pressY = press.y;
            if (second) select(focus, press.time);
            break;
        }
        case ButtonRelease:
            if (event.xbutton.button == Button1 && pressX >= 0 &&
                std::abs(event.xbutton.x - pressX) + std::abs(event.xbutton.y - pressY) >= 4)
                select(focus, event.xbutton.time);
            break;
        case KeyPress:
            if ((event.xkey.state & ControlMask) && XLookupKeysym(&event.xkey, 0) == XK_a)
                select(focus, event.xkey.time);
            break;
        default: break;
        }
    }

    void handleOwner(XEvent& event) {
        if (event.type == SelectionRequest) serve(event.xselectionrequest);
        if (event.type == SelectionClear && event.xselectionclear.selection == XA_PRIMARY) {
            selected = nullptr;
            draw();
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    Program program;
    program.owner = XOpenDisplay(nullptr);
    if (!program.owner) return 2;
    if (argc > 3 && std::string(argv[3]) == "fork") {
        int told[2];
        if (pipe(told) != 0) return 1;
        const pid_t child = fork();
        if (child < 0) return 1;
        if (child > 0) {
            // The parent waits for the child's "ready", tells the child's id and ends.
            close(told[1]);
            char ready = 0;
            if (read(told[0], &ready, 1) != 1) return 1;
            std::printf("ready %ld\n", long(child));
            std::fflush(stdout);
            _exit(0);
        }
        close(told[0]);
        if (!std::freopen("/dev/null", "w", stdout)) return 1;
        readyPipe = told[1];
    }
    program.shown = XOpenDisplay(nullptr);
    if (!program.shown) return 2;
    const int x = argc > 2 ? std::atoi(argv[1]) : 0, y = argc > 2 ? std::atoi(argv[2]) : 0;
    Display* dpy = program.shown;
    const int screen = DefaultScreen(dpy);
    program.window = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), x, y, width, height, 0, BlackPixel(dpy, screen),
                                         WhitePixel(dpy, screen));
    XSelectInput(dpy, program.window, ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask);
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = x;
    size.y = y;
    size.width = width;
    size.height = height;
    XWMHints hints{};
    hints.flags = InputHint;
    hints.input = True;
    char name[] = "bare-selection", className[] = "BareSelection";
    XClassHint classHint{name, className};
    XTextProperty title;
    char* titleText = name;
    XStringListToTextProperty(&titleText, 1, &title);
    XSetWMProperties(dpy, program.window, &title, &title, argv, argc, &size, &hints, &classHint);
    XFree(title.value);
    const long pid = long(getpid());
    XChangeProperty(dpy, program.window, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(dpy, program.window);
    XFlush(dpy);

    // The selection's window: no property, never mapped.
    program.bare = XCreateWindow(program.owner, DefaultRootWindow(program.owner), 0, 0, 1, 1, 0, CopyFromParent,
                                 InputOnly, CopyFromParent, 0, nullptr);
    XFlush(program.owner);

    while (true) {
        while (XPending(program.shown)) {
            XEvent event;
            XNextEvent(program.shown, &event);
            program.handleShown(event);
        }
        while (XPending(program.owner)) {
            XEvent event;
            XNextEvent(program.owner, &event);
            program.handleOwner(event);
        }
        pollfd descriptors[] = {{ConnectionNumber(program.shown), POLLIN, 0},
                                {ConnectionNumber(program.owner), POLLIN, 0}};
        if (poll(descriptors, 2, -1) < 0) return 1;
    }
}
