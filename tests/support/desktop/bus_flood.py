#!/usr/bin/python3
"""A stranger on the session bus that calls a method as fast as the bus takes the calls, keeping up to
WINDOW of them unanswered, until it is terminated, SECONDS have passed or, with CALLS, that many calls
are answered. It prints "flooding" once the first answers are in, and on its end the calls it made,
the answers it got and how many of them were refusals (AccessDenied).

Usage: bus_flood.py DESTINATION PATH INTERFACE METHOD [SECONDS] [WINDOW] [CALLS]"""
import signal
import sys
import time

from gi.repository import Gio, GLib

destination, path, interface, method = sys.argv[1:5]
seconds = float(sys.argv[5]) if len(sys.argv) > 5 else 60.0
window = int(sys.argv[6]) if len(sys.argv) > 6 else 2000
calls = int(sys.argv[7]) if len(sys.argv) > 7 else None

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
loop = GLib.MainLoop()
counts = {"sent": 0, "answered": 0, "refused": 0}
started = time.monotonic()
told = False


def answered(connection, result, _data):
    global told
    counts["answered"] += 1
    try:
        connection.call_finish(result)
    except GLib.Error as error:
        if "AccessDenied" in error.message:
            counts["refused"] += 1
    if not told and counts["answered"] >= 100:
        told = True
        print("flooding", flush=True)
    if counts["answered"] == calls:
        loop.quit()


def send():
    if time.monotonic() - started > seconds:
        loop.quit()
        return False
    while counts["sent"] - counts["answered"] < window and counts["sent"] != calls:
        # Without a time limit: GLib keeps one timer for each call that has one, which made the
        # flood itself slow to take its answers when tens of thousands were out.
        bus.call(destination, path, interface, method, None, None, Gio.DBusCallFlags.NONE, GLib.MAXINT32, None,
                 answered, None)
        counts["sent"] += 1
    return True


GLib.timeout_add(1, send)
GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGTERM, loop.quit)
loop.run()
print("calls %d answered %d refused %d seconds %.1f" % (counts["sent"], counts["answered"], counts["refused"],
                                                        time.monotonic() - started), flush=True)
