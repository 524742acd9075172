// Tells the Orvel program, and no other caller, where the pointer is, whether its left button is
// held, and when it is released: on Wayland no ordinary client learns these over native windows.
// Nothing runs while no one waits for a release.
'use strict';

const { Clutter, Gio, GLib } = imports.gi;

const BUS_NAME = 'com.orvel.formac.Shell';
const OBJECT_PATH = '/com/orvel/formac/Shell';
// Only the program that owns this name on the session bus gets answers.
const PROGRAM_NAME = 'com.orvel.formac';
const POLL_INTERVAL_MS = 10;
const MAX_WAIT_MS = 30000;

const INTERFACE = `<node>
  <interface name="com.orvel.formac.Shell">
    <method name="Pointer">
      <arg type="i" name="x" direction="out"/>
      <arg type="i" name="y" direction="out"/>
      <arg type="b" name="leftHeld" direction="out"/>
      <arg type="u" name="focusedPid" direction="out"/>
    </method>
    <method name="WaitForRelease">
      <arg type="u" name="timeoutMs" direction="in"/>
      <arg type="b" name="released" direction="out"/>
      <arg type="i" name="x" direction="out"/>
      <arg type="i" name="y" direction="out"/>
      <arg type="u" name="focusedPid" direction="out"/>
    </method>
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

class SelectionService {
    constructor() {
        this._cancellable = new Gio.Cancellable();
        this._waits = [];
        this._timer = 0;
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._object.export(Gio.DBus.session, OBJECT_PATH);
        this._ownerId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    destroy() {
        this._cancellable.cancel();
        Gio.bus_unown_name(this._ownerId);
        this._object.unexport();
        if (this._timer) {
            GLib.source_remove(this._timer);
            this._timer = 0;
        }
        const now = pointer();
        for (const wait of this._waits)
            wait.invocation.return_value(new GLib.Variant('(biiu)', [false, now.x, now.y, focusedPid()]));
        this._waits = [];
    }

    PointerAsync(_params, invocation) {
        this._whenFromProgram(invocation, () => {
            const now = pointer();
            invocation.return_value(new GLib.Variant('(iibu)', [now.x, now.y, now.leftHeld, focusedPid()]));
        });
    }

    WaitForReleaseAsync([timeoutMs], invocation) {
        this._whenFromProgram(invocation, () => {
            const now = pointer();
            if (!now.leftHeld) {
                invocation.return_value(new GLib.Variant('(biiu)', [true, now.x, now.y, focusedPid()]));
                return;
            }
            const waitMs = Math.min(Math.max(timeoutMs, 1), MAX_WAIT_MS);
            this._waits.push({ invocation, deadline: GLib.get_monotonic_time() + waitMs * 1000 });
            if (!this._timer)
                this._timer = GLib.timeout_add(GLib.PRIORITY_DEFAULT, POLL_INTERVAL_MS, () => this._poll());
        });
    }

    // One timer serves every pending wait; it stops when the last one is answered.
    _poll() {
        const now = pointer();
        const pid = focusedPid();
        const time = GLib.get_monotonic_time();
        this._waits = this._waits.filter(wait => {
            if (now.leftHeld && time < wait.deadline)
                return true;
            wait.invocation.return_value(new GLib.Variant('(biiu)', [!now.leftHeld, now.x, now.y, pid]));
            return false;
        });
        if (this._waits.length > 0)
            return GLib.SOURCE_CONTINUE;
        this._timer = 0;
        return GLib.SOURCE_REMOVE;
    }

    // Asks the bus who owns the program's name now, so that a name taken over or given up since the
    // last call is never trusted; a caller that is not that owner is refused.
    _whenFromProgram(invocation, answer) {
        const sender = invocation.get_sender();
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
            'GetNameOwner', new GLib.Variant('(s)', [PROGRAM_NAME]), new GLib.VariantType('(s)'),
            Gio.DBusCallFlags.NONE, -1, this._cancellable, (connection, result) => {
                let owner = null;
                try {
                    [owner] = connection.call_finish(result).deepUnpack();
                } catch (e) {
                    owner = null;
                }
                if (owner !== null && owner === sender && !this._cancellable.is_cancelled()) {
                    answer();
                    return;
                }
                invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                    `Only the owner of ${PROGRAM_NAME} may call this`);
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
