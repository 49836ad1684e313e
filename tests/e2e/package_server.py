#!/usr/bin/env python3
"""A distribution server with one misbehaviour, for the end-to-end cases.
It serves WWW/Download/TramelaCoreServer.zip and its .sig and answers at most
a few connections, ending by itself after a time limit.

    package_server.py PORT WWW MODE [ARG] [--seconds N]

MODE cut-short: the package's whole Content-Length is announced, only its first
half is sent, and the connection closes. MODE mkdir-on-sig DIR: when the
signature file is asked for, DIR is made first (someone taking the working
directory between the installer's directory test and its download).
"""
import os
import sys

from bounded_peer import connections, read_head


def answer(conn, path, www, mode, arg):
    sig = path.endswith(".sig")
    if sig and mode == "mkdir-on-sig":
        os.makedirs(arg, exist_ok=True)
    name = "TramelaCoreServer.zip.sig" if sig else "TramelaCoreServer.zip"
    try:
        body = open(os.path.join(www, "Download", name), "rb").read()
    except OSError:
        conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        return
    sent = body[: len(body) // 2] if (mode == "cut-short" and not sig) else body
    head = ("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
            "Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body))
    conn.sendall(head.encode("ascii") + sent)


def main():
    args = sys.argv[1:]
    limit = 120.0
    if "--seconds" in args:
        at = args.index("--seconds")
        limit = float(args[at + 1])
        del args[at:at + 2]
    port, www, mode = int(args[0]), args[1], args[2]
    arg = args[3] if len(args) > 3 else None
    for conn in connections(port, limit):
        with conn:
            conn.settimeout(5)
            try:
                request = read_head(conn)
                if not request:
                    continue  # the reachability probe connects and closes
                path = request.split(b" ", 2)[1].decode("ascii", "replace")
                answer(conn, path, www, mode, arg)
            except OSError:
                pass


if __name__ == "__main__":
    main()
