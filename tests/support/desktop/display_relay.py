#!/usr/bin/python3
"""A relay of an X display's connection, under a name no list knows, as a program that passes a display
on is (ssh -X, an X11 proxy, a viewer): it listens as a display of its own and copies the bytes of each
client's connection both ways to and from the display DISPLAY names, which therefore names the relay's
process for every client behind it. It takes the first free display number from 100 on as an X server
does (its lock file /tmp/.XN-lock, a stale one of an ended process taken over), prints "ready N" once
it listens, and removes its socket and lock file when it ends on SIGTERM.

Usage: display_relay.py
"""
import os
import signal
import socket
import sys
import threading

SOCKETS = "/tmp/.X11-unix"


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


def take_display():
    """The display number taken, its lock file, its socket's path and the listening socket."""
    for number in range(100, 1000):
        lock = f"/tmp/.X{number}-lock"
        try:
            descriptor = os.open(lock, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o444)
        except FileExistsError:
            try:
                with open(lock) as held:
                    holder = int(held.read().strip() or 0)
            except (OSError, ValueError):
                continue
            if holder > 0 and alive(holder):
                continue
            os.unlink(lock)
            try:
                descriptor = os.open(lock, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o444)
            except FileExistsError:
                continue
        os.write(descriptor, b"%10d\n" % os.getpid())
        os.close(descriptor)
        path = f"{SOCKETS}/X{number}"
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            if os.path.exists(path):
                os.unlink(path)
            listener.bind(path)
        except OSError:
            listener.close()
            os.unlink(lock)
            continue
        listener.listen(64)
        return number, lock, path, listener
    sys.exit("display_relay: no free display number")


def copy(source, target):
    """Copies what comes from `source` to `target` until either end closes."""
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    for end in (target, source):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def main():
    display = os.environ["DISPLAY"]
    served = display.rpartition(":")[2].split(".")[0]
    number, lock, path, listener = take_display()

    def end(*_):
        for leftover in (path, lock):
            try:
                os.unlink(leftover)
            except OSError:
                pass
        os._exit(0)

    signal.signal(signal.SIGTERM, end)
    signal.signal(signal.SIGINT, end)
    print(f"ready {number}", flush=True)
    while True:
        client, _ = listener.accept()
        server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            server.connect(f"{SOCKETS}/X{served}")
        except OSError:
            client.close()
            server.close()
            continue
        for source, target in ((client, server), (server, client)):
            threading.Thread(target=copy, args=(source, target), daemon=True).start()


if __name__ == "__main__":
    main()
