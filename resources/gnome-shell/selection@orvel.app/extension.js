// Tells the Orvel program, and no other caller, where the pointer is, when its left button goes
// down and up, which window has the keyboard focus, and which process made the primary selection:
// on Wayland no ordinary client learns these over native windows. Nothing runs while the program
// does not watch, but for noting who sets the primary selection.
'use strict';

const { Clutter, Gio, GLib, Meta } = imports.gi;
const ExtensionUtils = imports.misc.extensionUtils;
const System = imports.system;

const BUS_NAME = 'com.orvel.formac.Shell';
const OBJECT_PATH = '/com/orvel/formac/Shell';
// Only Orvel itself gets answers (see _isProgram); the button and focus signals only the copy that
// owns this name on the session bus.
const PROGRAM_NAME = 'com.orvel.formac';
// Where the Debian package installs the program. An installation elsewhere, or a build, names its
// program in the file PROGRAMS_FILE beside this one: whoever may write there may rewrite this
// extension anyway, so no other process can make itself trusted through it.
const INSTALLED_PROGRAM = '/usr/bin/orvel';
const PROGRAMS_FILE = 'programs';
// Callers are remembered by their unique name, which the bus never gives out again, until they leave
// the bus: Orvel's own as long as it is there, others up to this many at once.
const MAX_REMEMBERED_CALLERS = 4096;
const ACCESS_DENIED = 'org.freedesktop.DBus.Error.AccessDenied';
const REFUSAL = 'Only the Orvel program may call this';
const OWNER_REFUSAL = `Only the Orvel program owning ${PROGRAM_NAME} may call this`;
// A caller already refused, and one not owning the program's name that asks for the watch, gets its
// refusals with those of others after this pause: one that keeps calling while it waits for its
// answers is slowed down, and the shell's main loop is left to the person's input.
const REFUSAL_PAUSE_MS = 1000;
// Refusals set aside at most. Past them, a caller is not waiting for its answers: the rest of its
// calls are dropped unanswered (its bus gives up on them in time), which costs the shell no answer
// and leaves the bus to the person's programs. Answered at once, a caller keeping 40,000 calls out
// had the shell send 7,000 refusals a second, and the shell's signals waited behind them.
const MAX_HELD_REFUSALS = 4096;
// Refusals sent in one turn of the shell's main loop: a few milliseconds' work, so that input and
// drawing come between them.
const REFUSALS_AT_ONCE = 64;
// Calls of a caller waiting for the bus to tell who it is: Orvel makes no more than a few at once.
const MAX_WAITING_CALLS = 64;
// The script engine keeps each call's message until it collects the call's wrapper, which it does
// not reckon with: a flood left the shell's memory hundreds of megabytes larger until it happened
// to collect. After this many refused calls the shell collects what they left.
const CALLS_BEFORE_COLLECTING = 4096;

const INTERFACE = `<node>
  <interface name="com.orvel.formac.Shell">
    <method name="Pointer">
      <arg type="i" name="x" direction="out"/>
      <arg type="i" name="y" direction="out"/>
      <arg type="b" name="leftHeld" direction="out"/>
      <arg type="u" name="focusedPid" direction="out"/>
    </method>
    <method name="PrimarySource">
      <arg type="u" name="pid" direction="out"/>
    </method>
    <method name="Watch">
      <arg type="b" name="on" direction="in"/>
      <arg type="u" name="focusedPid" direction="out"/>
    </method>
    <signal name="Button">
      <arg type="b" name="pressed"/>
      <arg type="i" name="x"/>
      <arg type="i" name="y"/>
      <arg type="u" name="time"/>
      <arg type="u" name="windowPid"/>
      <arg type="b" name="nativeWindow"/>
    </signal>
    <signal name="Focus">
      <arg type="u" name="focusedPid"/>
    </signal>
  </interface>
</node>`;

function pointer() {
    const [x, y, mask] = global.get_pointer();
    return { x, y, leftHeld: (mask & Clutter.ModifierType.BUTTON1_MASK) !== 0 };
}

function focusedPid() {
    const pid = global.display.focus_window?.get_pid() ?? 0;
    return pid > 0 ? pid : 0;
}

// The process that set the primary selection as it became `owner`'s: a native window's client may
// set it only while it has the keyboard focus, so it is the focused window's. 0 for any other owner:
// an X11 client's (the X server names its process), the shell's own, or none (it was given up, or
// its client ended).
function primarySource(owner) {
    if (owner?.constructor.$gtype.name !== 'MetaSelectionSourceWayland')
        return 0;
    const window = global.display.focus_window;
    if (window?.get_client_type() !== Meta.WindowClientType.WAYLAND)
        return 0;
    return Math.max(window.get_pid(), 0);
}

// The window drawn at a point of the screen, as the shell would hand it a click there; none over the
// shell's own panels and the desktop.
function windowAt(x, y) {
    for (let actor = global.stage.get_actor_at_pos(Clutter.PickMode.REACTIVE, x, y); actor;
        actor = actor.get_parent()) {
        if (actor instanceof Meta.WindowActor)
            return actor.get_meta_window();
    }
    return null;
}

function fileId(path) {
    try {
        const info = Gio.File.new_for_path(path).query_info('unix::device,unix::inode,unix::uid',
            Gio.FileQueryInfoFlags.NONE, null);
        return {
            device: info.get_attribute_uint32('unix::device'),
            inode: info.get_attribute_uint64('unix::inode'),
            uid: info.get_attribute_uint32('unix::uid'),
        };
    } catch (e) {
        return null;
    }
}

// The programs that may call: the installed one and those named beside the extension.
function trustedPrograms() {
    const programs = [INSTALLED_PROGRAM];
    try {
        const [, contents] = ExtensionUtils.getCurrentExtension().dir.get_child(PROGRAMS_FILE).load_contents(null);
        for (const line of new TextDecoder().decode(contents).split('\n')) {
            if (line.startsWith('/'))
                programs.push(line);
        }
    } catch (e) {
        // No such file: the installed program only.
    }
    return programs;
}

function callBus(method, args, type, cancellable) {
    return new Promise((resolve, reject) => {
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', method,
            args, new GLib.VariantType(type), Gio.DBusCallFlags.NONE, -1, cancellable, (connection, result) => {
                try {
                    resolve(connection.call_finish(result).deepUnpack()[0]);
                } catch (e) {
                    reject(e);
                }
            });
    });
}

class SelectionService {
    constructor() {
        this._cancellable = new Gio.Cancellable();
        this._programs = trustedPrograms();
        // Unique names known to run Orvel, known not to, and those the bus is being asked about: a caller
        // that keeps calling costs one question, and a refused one no more than its refusal.
        this._trusted = new Set();
        this._refused = new Set();
        this._waiting = new Map();  // unique name being asked about → [{invocation, ownerOnly, answer}]
        this._heldRefusals = [];  // [invocation, message] of callers already refused, for the next pause
        this._sending = [];  // those whose pause is over, going out a few at a time
        this._refusalTimer = 0;
        this._refusalsGoing = false;
        this._callsSinceCollecting = 0;
        this._collector = 0;
        this._watchers = new Map();  // unique name → id of the watch for its going away
        this._idleMonitor = global.backend.get_core_idle_monitor();
        // Noted as the selection changes hands, while the window that set it still has the focus; not
        // known for a selection made before the extension started.
        this._primarySource = 0;
        this._selectionHandler = global.display.get_selection().connect('owner-changed',
            (_selection, type, owner) => {
                if (type === Meta.SelectionType.SELECTION_PRIMARY)
                    this._primarySource = primarySource(owner);
            });
        this._inputWatch = 0;
        this._focusHandler = 0;
        // The owner of the program's name, as the bus answers and then tells its changes: the bus
        // tells the shell before it tells a new owner that it has the name, so no call of the new
        // owner comes first. Until the bus has answered (the extension has just been switched on, as
        // it is at every unlock, and the program may already be calling), calls for the owner wait
        // for the answer; then a caller that is not the owner is refused without a question to the bus.
        this._owner = null;
        this._ownerTold = false;
        this._ownerKnown = false;
        this._awaitingOwner = [];  // [{sender, invocation, answer}] of owner-only calls
        this._ownerSubscription = Gio.DBus.session.signal_subscribe('org.freedesktop.DBus',
            'org.freedesktop.DBus', 'NameOwnerChanged', '/org/freedesktop/DBus', PROGRAM_NAME,
            Gio.DBusSignalFlags.NONE, (_connection, _sender, _path, _interface, _signal, parameters) => {
                const [, , owner] = parameters.deepUnpack();
                this._owner = owner || null;
                this._ownerTold = true;
                this._ownerAnswered();
            });
        // Callers are forgotten as they leave the bus.
        this._leaveSubscription = Gio.DBus.session.signal_subscribe('org.freedesktop.DBus',
            'org.freedesktop.DBus', 'NameOwnerChanged', '/org/freedesktop/DBus', null,
            Gio.DBusSignalFlags.NONE, (_connection, _sender, _path, _interface, _signal, parameters) => {
                const [name, , owner] = parameters.deepUnpack();
                if (owner === '' && name.startsWith(':')) {
                    this._trusted.delete(name);
                    this._refused.delete(name);
                    this._decided(name, null);
                }
            });
        // A name without an owner is answered with an error: then there is none.
        callBus('GetNameOwner', new GLib.Variant('(s)', [PROGRAM_NAME]), '(s)', this._cancellable)
            .then(owner => {
                if (!this._ownerTold)
                    this._owner = owner;
            }, () => {})
            .then(() => {
                if (!this._cancellable.is_cancelled())
                    this._ownerAnswered();
            });
        // Every call comes to one plain function, which sets a known stranger's call aside at once: a
        // caller that floods the bus with calls must not keep the shell from handling input. (An
        // object registered with a closure instead never lets go of a call it was handed.)
        this._exported = new Gio.DBusExportedObject({
            g_interface_info: Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0],
        });
        this._exported.connect('handle-method-call', (_object, method, parameters, invocation) =>
            this._call(invocation.get_sender(), method, parameters, invocation));
        this._exported.export(Gio.DBus.session, OBJECT_PATH);
        this._ownerId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    destroy() {
        this._cancellable.cancel();
        global.display.get_selection().disconnect(this._selectionHandler);
        Gio.DBus.session.signal_unsubscribe(this._ownerSubscription);
        Gio.DBus.session.signal_unsubscribe(this._leaveSubscription);
        for (const id of this._watchers.values())
            Gio.bus_unwatch_name(id);
        this._watchers.clear();
        this._updateWatches();
        Gio.bus_unown_name(this._ownerId);
        this._exported.unexport();
        if (this._refusalTimer)
            GLib.source_remove(this._refusalTimer);
        if (this._collector)
            GLib.source_remove(this._collector);
        for (const [invocation, message] of [...this._sending, ...this._heldRefusals])
            invocation.return_dbus_error(ACCESS_DENIED, message);
        this._sending = [];
        this._heldRefusals = [];
        for (const calls of this._waiting.values()) {
            for (const call of calls)
                call.invocation.return_dbus_error(ACCESS_DENIED, call.ownerOnly ? OWNER_REFUSAL : REFUSAL);
        }
        this._waiting.clear();
        for (const { invocation } of this._awaitingOwner)
            invocation.return_dbus_error(ACCESS_DENIED, OWNER_REFUSAL);
        this._awaitingOwner = [];
    }

    // The bus has said who owns the program's name: the calls that waited for it are judged now.
    _ownerAnswered() {
        if (this._ownerKnown)
            return;
        this._ownerKnown = true;
        const calls = this._awaitingOwner;
        this._awaitingOwner = [];
        for (const { sender, invocation, answer } of calls)
            this._whenFromProgram(sender, invocation, true, answer);
    }

    // The bus has checked the method and its arguments against the interface.
    _call(sender, method, parameters, invocation) {
        if (this._refused.has(sender)) {
            this._refuseLater(invocation, method === 'Watch' ? OWNER_REFUSAL : REFUSAL);
            return;
        }
        if (method === 'Pointer')
            this._pointer(sender, invocation);
        else if (method === 'PrimarySource')
            this._whenFromProgram(sender, invocation, false,
                () => invocation.return_value(new GLib.Variant('(u)', [this._primarySource])));
        else if (method === 'Watch')
            this._watch(sender, parameters.get_child_value(0).get_boolean(), invocation);
    }

    // Nothing of a call stays here once it is answered, or dropped.
    _refuseLater(invocation, message) {
        if (this._heldRefusals.length >= MAX_HELD_REFUSALS) {
            this._forgotten();
            return;
        }
        this._heldRefusals.push([invocation, message]);
        this._pauseRefusals();
    }

    _refuse(invocation, message) {
        invocation.return_dbus_error(ACCESS_DENIED, message);
        this._forgotten();
    }

    _forgotten() {
        if (++this._callsSinceCollecting < CALLS_BEFORE_COLLECTING || this._collector)
            return;
        this._collector = GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
            this._collector = 0;
            this._callsSinceCollecting = 0;
            System.gc();
            return GLib.SOURCE_REMOVE;
        });
    }

    // The refusals held when a pause ends go out in small parts; those held meanwhile wait for the
    // next pause, which begins once they are out.
    _pauseRefusals() {
        if (this._refusalTimer || this._refusalsGoing || this._heldRefusals.length === 0)
            return;
        this._refusalTimer = GLib.timeout_add(GLib.PRIORITY_DEFAULT, REFUSAL_PAUSE_MS, () => {
            this._refusalTimer = 0;
            this._sending = this._heldRefusals;
            this._heldRefusals = [];
            this._refusalsGoing = true;
            this._sendRefusals();
            return GLib.SOURCE_REMOVE;
        });
    }

    // The next part goes out once the bus has answered a question asked after the part before, so
    // that the bus has taken that part: the signals to the program, which leave on the same
    // connection, wait behind one part at most. Handed to the connection at once, the parts piled up
    // in it on a loaded machine, and a button's signal reached the program five seconds late.
    _sendRefusals() {
        for (const [invocation, message] of this._sending.splice(0, REFUSALS_AT_ONCE))
            this._refuse(invocation, message);
        if (this._sending.length === 0) {
            this._refusalsGoing = false;
            this._pauseRefusals();
            return;
        }
        callBus('GetId', null, '(s)', this._cancellable)
            .catch(() => {})
            .then(() => {
                if (!this._cancellable.is_cancelled())
                    this._sendRefusals();
            });
    }

    // Any copy of the program may ask for the pointer and the primary selection's source: the running
    // one, and one that `orvel --study-selection` started to learn where the selection it hands over
    // comes from.
    _pointer(sender, invocation) {
        this._whenFromProgram(sender, invocation, false, () => {
            const now = pointer();
            invocation.return_value(new GLib.Variant('(iibu)', [now.x, now.y, now.leftHeld, focusedPid()]));
        });
    }

    // While it watches, the caller gets the Button signal, and no one else, for every press and
    // release of the left button, and Focus for every change of the focused window, whose process it
    // is told now; at most one watch a caller, which ends when it leaves the bus.
    _watch(caller, on, invocation) {
        this._whenFromProgram(caller, invocation, true, () => {
            if (on && !this._watchers.has(caller)) {
                this._watchers.set(caller, Gio.bus_watch_name_on_connection(Gio.DBus.session, caller,
                    Gio.BusNameWatcherFlags.NONE, null, () => this._unwatch(caller)));
            } else if (!on) {
                this._unwatch(caller);
            }
            this._updateWatches();
            invocation.return_value(new GLib.Variant('(u)', [focusedPid()]));
        });
    }

    _unwatch(caller) {
        const id = this._watchers.get(caller);
        if (id === undefined)
            return;
        Gio.bus_unwatch_name(id);
        this._watchers.delete(caller);
        this._updateWatches();
    }

    // The shell tells a watch for the user's activity of every input event as it handles it, before
    // it hands the event to a window: the only place an extension sees clicks in native windows.
    // The watch fires once; it is set again for the next event while anyone watches.
    _updateWatches() {
        const watching = this._watchers.size > 0;
        if (watching && !this._inputWatch) {
            this._inputWatch = this._idleMonitor.add_user_active_watch(() => {
                this._inputWatch = 0;
                try {
                    this._inputEvent(Clutter.get_current_event());
                } finally {
                    this._updateWatches();
                }
            });
        } else if (!watching && this._inputWatch) {
            this._idleMonitor.remove_watch(this._inputWatch);
            this._inputWatch = 0;
        }
        if (watching && !this._focusHandler) {
            this._focusHandler = global.display.connect('notify::focus-window',
                () => this._tell('Focus', new GLib.Variant('(u)', [focusedPid()])));
        } else if (!watching && this._focusHandler) {
            global.display.disconnect(this._focusHandler);
            this._focusHandler = 0;
        }
    }

    _tell(signal, values) {
        for (const caller of this._watchers.keys())
            Gio.DBus.session.emit_signal(caller, OBJECT_PATH, BUS_NAME, signal, values);
    }

    _inputEvent(event) {
        const type = event?.type();
        if (type !== Clutter.EventType.BUTTON_PRESS && type !== Clutter.EventType.BUTTON_RELEASE)
            return;
        if (event.get_button() !== Clutter.BUTTON_PRIMARY)
            return;
        const [x, y] = event.get_coords();
        const window = windowAt(x, y);
        const pid = Math.max(window?.get_pid() ?? 0, 0);
        const native = window !== null && window.get_client_type() === Meta.WindowClientType.WAYLAND;
        this._tell('Button', new GLib.Variant('(biiuub)',
            [type === Clutter.EventType.BUTTON_PRESS, Math.round(x), Math.round(y), event.get_time(), pid, native]));
    }

    // Answers a caller that runs Orvel and, where `ownerOnly`, owns the program's name now; refuses
    // any other.
    _whenFromProgram(sender, invocation, ownerOnly, answer) {
        const message = ownerOnly ? OWNER_REFUSAL : REFUSAL;
        if (ownerOnly && !this._ownerKnown) {
            if (this._awaitingOwner.length < MAX_WAITING_CALLS)
                this._awaitingOwner.push({ sender, invocation, answer });
            else
                this._refuseLater(invocation, message);
        } else if (ownerOnly && sender !== this._owner) {
            this._refuseLater(invocation, message);
        } else if (this._trusted.has(sender)) {
            try {
                answer();
            } catch (e) {
                invocation.return_dbus_error(ACCESS_DENIED, message);
            }
        } else {
            const calls = this._waitFor(sender);
            if (calls.length < MAX_WAITING_CALLS)
                calls.push({ invocation, ownerOnly, answer });
            else
                this._refuseLater(invocation, message);
        }
    }

    // The calls waiting for what the bus tells of `sender`, which it is asked once, however many
    // calls come meanwhile.
    _waitFor(sender) {
        let calls = this._waiting.get(sender);
        if (calls === undefined) {
            if (this._refused.size + this._waiting.size >= MAX_REMEMBERED_CALLERS)
                this._refused.clear();
            calls = [];
            this._waiting.set(sender, calls);
            this._isProgram(sender).then(trusted => this._decided(sender, trusted),
                () => this._decided(sender, null));
        }
        return calls;
    }

    // Answers the calls waiting for what the bus told of `sender`, and remembers it; null when that is
    // not known (the question failed, the caller left), which refuses them and is not remembered: the
    // next call asks again.
    _decided(sender, trusted) {
        const calls = this._waiting.get(sender);
        if (calls === undefined)
            return;
        this._waiting.delete(sender);
        if (trusted !== null)
            (trusted ? this._trusted : this._refused).add(sender);
        for (const { invocation, ownerOnly, answer } of calls) {
            const message = ownerOnly ? OWNER_REFUSAL : REFUSAL;
            // The name may have passed on while the bus was asked.
            if (!trusted || (ownerOnly && sender !== this._owner)) {
                this._refuseLater(invocation, message);
                continue;
            }
            try {
                answer();
            } catch (e) {
                invocation.return_dbus_error(ACCESS_DENIED, message);
            }
        }
    }

    // Whether the process behind a connection runs one of the trusted program files: the very file
    // (device and inode, whatever path or mount the process reached it by), or, after an upgrade
    // replaced it while the program ran, a deleted file of the super-user's at a trusted path.
    async _isProgram(sender) {
        const pid = await callBus('GetConnectionUnixProcessID', new GLib.Variant('(s)', [sender]), '(u)',
            this._cancellable);
        const executable = `/proc/${pid}/exe`;
        const running = fileId(executable);
        let link = null;
        try {
            link = GLib.file_read_link(executable);
        } catch (e) {
            link = null;
        }
        return running !== null && this._programs.some(path => {
            const program = fileId(path);
            if (program !== null && program.device === running.device && program.inode === running.inode)
                return true;
            return link === `${path} (deleted)` && running.uid === 0 && program?.uid === 0;
        });
    }
}

class Extension {
    enable() {
        this._service = new SelectionService();
    }

    disable() {
        this._service?.destroy();
        this._service = null;
    }
}

function init() {
    return new Extension();
}
