"""What the end-to-end peers share: a listener on 127.0.0.1 that takes a few
connections and ends by itself, and the reading of a request or answer head."""
import socket
import time


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data and len(data) < 65536:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk
    return data


def connections(port, seconds, most=16):
    """Yields each accepted connection on 127.0.0.1:PORT, at most MOST of them
    and none after SECONDS; prints "ready" once it listens."""
    deadline = time.monotonic() + seconds
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as server:
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        server.bind(("127.0.0.1", port))
        server.listen(8)
        print("ready", flush=True)
        for _ in range(most):
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                break
            server.settimeout(remaining)
            try:
                conn, _ = server.accept()
            except socket.timeout:
                break
            yield conn
