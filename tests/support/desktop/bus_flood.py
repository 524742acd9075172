#!/usr/bin/python3
"""A stranger on the session bus that calls a method as fast as the bus takes the calls, keeping up to
WINDOW of them unanswered, until it is terminated or SECONDS have passed. It prints "flooding" once
the first answers are in, and on its end the calls it made, the answers it got and how many of them
were refusals (AccessDenied).

Usage: bus_flood.py DESTINATION PATH INTERFACE METHOD [SECONDS] [WINDOW]"""
import signal
import sys
import time

from gi.repository import Gio, GLib

destination, path, interface, method = sys.argv[1:5]
seconds = float(sys.argv[5]) if len(sys.argv) > 5 else 60.0
window = int(sys.argv[6]) if len(sys.argv) > 6 else 2000

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


def send():
    if time.monotonic() - started > seconds:
        loop.quit()
        return False
    while counts["sent"] - counts["answered"] < window:
        bus.call(destination, path, interface, method, None, None, Gio.DBusCallFlags.NONE, -1, None, answered, None)
        counts["sent"] += 1
    return True


GLib.timeout_add(1, send)
GLib.unix_signal_add(GLib.PRIORITY_HIGH, signal.SIGTERM, loop.quit)
loop.run()
print("calls %d answered %d refused %d seconds %.1f" % (counts["sent"], counts["answered"], counts["refused"],
                                                        time.monotonic() - started), flush=True)
