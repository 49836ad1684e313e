#!/usr/bin/env python3
"""A relay in front of a distribution server that breaks the first download.

    reset_relay.py PORT UPSTREAM-PORT [--share 0.3] [--seconds N]

Connections on 127.0.0.1:PORT are relayed to 127.0.0.1:UPSTREAM-PORT. The
first answer to a GET of the package is cut after the given share of its
bytes with a TCP reset; every other connection is relayed whole. It answers
at most a few connections and ends by itself after the time limit.
"""
import socket
import struct
import sys
import threading
import time

from bounded_peer import connections, read_head


def pump(source, target):
    try:
        while True:
            chunk = source.recv(65536)
            if not chunk:
                break
            target.sendall(chunk)
    except OSError:
        pass
    finally:
        try:
            target.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def relay(conn, upstream_port, cut_share):
    with conn, socket.create_connection(("127.0.0.1", upstream_port), timeout=10) as up:
        conn.settimeout(30)
        request = read_head(conn)
        if not request:
            return  # the reachability probe connects and closes
        up.sendall(request)
        if cut_share is None:
            back = threading.Thread(target=pump, args=(conn, up), daemon=True)
            back.start()
            pump(up, conn)
            return
        answer = b""
        while b"\r\n\r\n" not in answer:
            chunk = up.recv(65536)
            if not chunk:
                break
            answer += chunk
        head, _, rest = answer.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip())
        limit = len(head) + 4 + int(length * cut_share)
        sent = answer[:limit]
        while len(sent) < limit:
            chunk = up.recv(min(65536, limit - len(sent)))
            if not chunk:
                break
            sent += chunk
        conn.sendall(sent)
        time.sleep(0.2)
        # A close with a zero linger time sends a reset.
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        print("reset after %d of %d body bytes" % (len(sent) - len(head) - 4, length), flush=True)


def main():
    args = sys.argv[1:]
    limit, share = 180.0, 0.3
    for flag in ("--seconds", "--share"):
        if flag in args:
            at = args.index(flag)
            value = float(args[at + 1])
            del args[at:at + 2]
            if flag == "--seconds":
                limit = value
            else:
                share = value
    port, upstream = int(args[0]), int(args[1])
    cut_done = False
    for conn in connections(port, limit):
        # Only a package request is cut; peek at it without taking it.
        conn.settimeout(10)
        try:
            first = conn.recv(4096, socket.MSG_PEEK)
        except OSError:
            conn.close()
            continue
        is_package = first.startswith(b"GET ") and b".zip " in first.split(b"\r\n", 1)[0]
        cut = share if (is_package and not cut_done) else None
        cut_done = cut_done or cut is not None
        try:
            relay(conn, upstream, cut)
        except OSError:
            pass


if __name__ == "__main__":
    main()
