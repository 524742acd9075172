#!/usr/bin/env bash
# GNOME Shell while a stranger floods Orvel's shell extension: three floods of 40,000 calls of its
# Pointer method, each sent without waiting for the answers (a flood ends when every call is answered,
# or 30 s after it began), then a minute of rest. Reported: gnome-shell's resident memory (VmRSS)
# before, after each flood and a minute after the last; the longest lateness of a 10 ms GLib timeout
# in the shell's main loop during the floods (a probe added to a copy of the extension for the run);
# and the longest time the shell took meanwhile to answer another D-Bus call (its ShellVersion
# property, asked every 10 ms), which waits behind the flood's calls on the shell's bus connection.
# Runs its own scripts/gnome-session. Usage: bench/gnome_shell_flood.sh [EXTENSION_DIR] (default: the
# build's copy, build/gnome-shell/selection@orvel.app; give an older copy to compare).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != --inside ]; then
  extension=$(realpath "${1:-$here/build/gnome-shell/selection@orvel.app}")
  copy=$(mktemp -d "${TMPDIR:-/tmp}/orvel-flood-bench.XXXXXXXX")
  trap 'rm -rf "$copy"' EXIT
  mkdir "$copy/selection@orvel.app"
  cp "$extension"/* "$copy/selection@orvel.app/"
  cat >>"$copy/selection@orvel.app/extension.js" <<'PROBE'

// Benchmark probe: each second, the longest lateness of a 10 ms timeout in that second, in ms.
(function () {
    const file = Gio.File.new_for_path(`${GLib.get_user_runtime_dir()}/orvel-main-loop`);
    let last = GLib.get_monotonic_time(), worst = 0;
    GLib.timeout_add(GLib.PRIORITY_DEFAULT, 10, () => {
        const now = GLib.get_monotonic_time();
        worst = Math.max(worst, now - last - 10000);
        last = now;
        return GLib.SOURCE_CONTINUE;
    });
    GLib.timeout_add(GLib.PRIORITY_DEFAULT, 1000, () => {
        const stream = file.append_to(Gio.FileCreateFlags.NONE, null);
        stream.write_all(new TextEncoder().encode(`${(worst / 1000).toFixed(1)}\n`), null);
        stream.close(null);
        worst = 0;
        return GLib.SOURCE_CONTINUE;
    });
})();
PROBE
  ORVEL_GNOME_EXTENSION_DIR="$copy/selection@orvel.app" "$here/scripts/gnome-session" "$0" --inside
  exit
fi

shell=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.GetConnectionUnixProcessID org.gnome.Shell | sed 's/(uint32 \([0-9]*\),)/\1/')
resident() { awk '/^VmRSS:/ { printf "%.0f MB", $2 / 1024 }' "/proc/$shell/status"; }
probe="$XDG_RUNTIME_DIR/orvel-main-loop"
sleep 5
echo "gnome-shell before: $(resident)"
/usr/bin/python3 - "$XDG_RUNTIME_DIR/orvel-answers" <<'ASK' &
import signal, sys, time
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
longest, running = 0.0, True
def stop(*_):
    global running
    running = False
signal.signal(signal.SIGTERM, stop)
while running:
    asked = time.monotonic()
    bus.call_sync("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get",
                  GLib.Variant("(ss)", ("org.gnome.Shell", "ShellVersion")), None, Gio.DBusCallFlags.NONE, -1, None)
    longest = max(longest, time.monotonic() - asked)
    time.sleep(0.01)
open(sys.argv[1], "w").write("%.1f" % (longest * 1000))
ASK
asker=$!
from=$(wc -l <"$probe")
for flood in 1 2 3; do
  /usr/bin/python3 "$here/tests/support/desktop/bus_flood.py" com.orvel.formac.Shell /com/orvel/formac/Shell \
    com.orvel.formac.Shell Pointer 30 40000 40000 | tail -1 | sed "s/^/flood $flood: /"
  echo "gnome-shell after flood $flood: $(resident)"
done
kill "$asker"
wait "$asker" || true
echo "longest main-loop lateness during the floods: $(tail -n +"$((from + 1))" "$probe" | sort -n | tail -1) ms"
echo "longest answer to another call meanwhile: $(cat "$XDG_RUNTIME_DIR/orvel-answers") ms"
sleep 60
echo "gnome-shell a minute later: $(resident)"
