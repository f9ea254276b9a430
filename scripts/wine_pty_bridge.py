#!/usr/bin/env python3
"""Pseudo terminals for the library's API tests when they run under Wine.

A Windows program cannot make a pseudo terminal, so the tests ask this bridge
for one: a test connects over TCP to 127.0.0.1, sends its COM number and a
newline; the bridge opens a new pseudo terminal, links
<dosdevices>/com<N> to its slave side, answers "ok\n" and from then on relays
bytes between the connection and the master side. The library inside the test
opens \\.\COM<N> and lands on the slave side. When the test closes the
connection the pseudo terminal goes away and the link with it.

The bridge keeps its own descriptor of each slave side open, so the master
side does not end when the library closes the port and opens it again.

    wine_pty_bridge.py DOSDEVICES_DIR
Prints "port <number>" on its first line once it listens; runs until killed.
"""
import os
import select
import pty
import selectors
import socket
import sys
import tty


def main():
    dosdevices = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("port", listener.getsockname()[1], flush=True)

    selector = selectors.DefaultSelector()
    selector.register(listener, selectors.EVENT_READ, ("listen", None))

    def finish(line):
        conn, master, slave, link, target = line
        for item in (conn, master):
            try:
                selector.unregister(item)
            except (KeyError, ValueError):
                pass
        conn.close()
        os.close(master)
        os.close(slave)
        try:
            if os.readlink(link) == target:
                os.unlink(link)
        except OSError:
            pass

    def accept():
        conn, _ = listener.accept()
        conn.settimeout(5)
        request = b""
        try:
            while not request.endswith(b"\n") and len(request) < 16:
                piece = conn.recv(16 - len(request))
                if not piece:
                    break
                request += piece
            number = int(request.strip())
        except (OSError, ValueError):
            conn.close()
            return
        conn.settimeout(None)
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        master, slave = pty.openpty()
        tty.setraw(slave)
        tty.setraw(master)
        os.set_blocking(master, False)
        target = os.ttyname(slave)
        link = os.path.join(dosdevices, "com%d" % number)
        temporary = link + ".new"
        try:
            os.unlink(temporary)
        except OSError:
            pass
        os.symlink(target, temporary)
        os.replace(temporary, link)
        line = (conn, master, slave, link, target)
        selector.register(conn, selectors.EVENT_READ, ("conn", line))
        selector.register(master, selectors.EVENT_READ, ("master", line))
        conn.sendall(b"ok\n")

    while True:
        for key, _ in selector.select():
            kind, line = key.data
            if kind == "listen":
                accept()
                continue
            conn, master = line[0], line[1]
            try:
                if kind == "conn":
                    data = conn.recv(4096)
                    if not data:
                        finish(line)
                        continue
                    view = memoryview(data)
                    while view:
                        try:
                            view = view[os.write(master, view):]
                        except BlockingIOError:
                            select.select([], [master], [], 0.1)
                else:
                    try:
                        data = os.read(master, 4096)
                    except BlockingIOError:
                        continue
                    conn.sendall(data)
            except OSError:
                finish(line)


if __name__ == "__main__":
    main()
