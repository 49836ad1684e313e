#!/usr/bin/env python3
"""A local HTTP/1.0 peer for the HTTP client's tests, on 127.0.0.1 only.

  /close/NAME   the file without Content-Length: the body ends when the server closes
  /digest/NAME  the file behind Digest authentication (realm "tramela", user "user", password "pw")
  anything else the directory as python's http.server serves it

Usage: http_peer.py PORT DIRECTORY. It stops by itself after 120 seconds.
"""
import hashlib
import http.server
import os
import secrets
import sys
import threading

REALM = "tramela"
USER = "user"
PASSWORD = "pw"


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


def parse_digest(value):
    params = {}
    rest = value[len("Digest "):]
    while rest:
        rest = rest.lstrip(" ,")
        if "=" not in rest:
            break
        name, rest = rest.split("=", 1)
        if rest.startswith('"'):
            end = rest.index('"', 1)
            params[name.strip()] = rest[1:end]
            rest = rest[end + 1:]
        else:
            part, _, rest = rest.partition(",")
            params[name.strip()] = part.strip()
    return params


class Handler(http.server.SimpleHTTPRequestHandler):
    nonces = set()

    def log_message(self, format, *args):
        pass

    def send_file(self, name, with_length):
        path = os.path.join(self.directory, os.path.basename(name))
        if not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if with_length:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def digest_ok(self):
        value = self.headers.get("Authorization", "")
        if not value.startswith("Digest "):
            return False
        p = parse_digest(value)
        if p.get("username") != USER or p.get("nonce") not in self.nonces or p.get("uri") != self.path:
            return False
        ha1 = md5(f"{USER}:{REALM}:{PASSWORD}")
        ha2 = md5(f"GET:{p['uri']}")
        if p.get("qop") == "auth":
            expected = md5(f"{ha1}:{p['nonce']}:{p['nc']}:{p['cnonce']}:auth:{ha2}")
        else:
            expected = md5(f"{ha1}:{p['nonce']}:{ha2}")
        return p.get("response") == expected

    def do_GET(self):
        if self.path.startswith("/close/"):
            self.send_file(self.path[len("/close/"):], with_length=False)
        elif self.path.startswith("/digest/"):
            if self.digest_ok():
                self.send_file(self.path[len("/digest/"):], with_length=True)
                return
            nonce = secrets.token_hex(16)
            self.nonces.add(nonce)
            self.send_response(401)
            self.send_header("WWW-Authenticate",
                             f'Digest realm="{REALM}", qop="auth", nonce="{nonce}", opaque="{secrets.token_hex(8)}"')
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            super().do_GET()


def main():
    port, directory = int(sys.argv[1]), sys.argv[2]
    handler = lambda *a, **k: Handler(*a, directory=directory, **k)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    threading.Timer(120, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
