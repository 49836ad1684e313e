#!/usr/bin/env python3
"""A distribution server that breaks off: it announces the whole package's
Content-Length, sends only the first half of the body and closes. Answers at
most a few connections and ends by itself after a time limit.

    short_body_server.py PORT FILE [SECONDS]
"""
import socket
import sys
import time


def main():
    port, path = int(sys.argv[1]), sys.argv[2]
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 120.0
    body = open(path, "rb").read()
    deadline = time.monotonic() + limit
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as server:
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        server.bind(("127.0.0.1", port))
        server.listen(8)
        print("ready", flush=True)
        for _ in range(16):
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                break
            server.settimeout(remaining)
            try:
                conn, _ = server.accept()
            except socket.timeout:
                break
            with conn:
                conn.settimeout(5)
                request = b""
                try:
                    while b"\r\n\r\n" not in request and len(request) < 65536:
                        chunk = conn.recv(4096)
                        if not chunk:
                            break
                        request += chunk
                except socket.timeout:
                    continue
                if not request:
                    continue  # the reachability probe connects and closes
                head = ("HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\n"
                        "Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body))
                try:
                    conn.sendall(head.encode("ascii") + body[: len(body) // 2])
                except OSError:
                    pass


if __name__ == "__main__":
    main()
