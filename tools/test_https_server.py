#!/usr/bin/python3
"""HTTPS server for the download tests, Python standard library only.

Paths (also inside absolute-URL request lines):
  /size/N        N bytes of a fixed pattern, with Content-Length
  /status/CODE   a short body with that status (404, 500, ...)
  /drop/N        announces N bytes, sends half of them, then drops the connection
  /slow/N        N bytes in 16 KiB pieces, 50 ms apart
  /close         closes the connection without any response
  /files/NAME    the file NAME of --files, with Content-Length
  /slowfiles/NAME  the same, spread evenly over --slow-seconds
  anything else  404
Every request is appended to --log as "METHOD PATH USER-AGENT".
--mode no-accept listens but never accepts, and keeps the queue full, so a
client's connect times out. --tls11-address serves the same paths on a
second address (same port, --tls11-cert and --tls11-key) that offers TLS 1.0
and 1.1 only. The server ends itself after --lifetime seconds.
"""
import argparse
import http.server
import os
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

# One lock for every listener's appends to the request log.
LOG_LOCK = threading.Lock()
BLOCK = bytes((i * 7 + 3) & 0xFF for i in range(1 << 20))


def pattern(offset, length):
    """Bytes [offset, offset + length) of the endless pattern BLOCK repeats."""
    out = bytearray()
    while length > 0:
        start = offset % len(BLOCK)
        piece = BLOCK[start:start + length]
        out += piece
        offset += len(piece)
        length -= len(piece)
    return bytes(out)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "BastionTestServer"

    def log_message(self, fmt, *args):
        pass

    def record(self, path):
        with self.server.log_lock, open(self.server.log_path, "a") as log:
            log.write(f"{self.command} {path} {self.headers.get('User-Agent', '-')}\n")

    def send_body_headers(self, code, length):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length))
        self.end_headers()

    def stream(self, length, piece=1 << 20, pause=0.0):
        sent = 0
        while sent < length:
            n = min(piece, length - sent)
            self.wfile.write(pattern(sent, n))
            sent += n
            if pause:
                self.wfile.flush()
                time.sleep(pause)

    def send_file(self, slow, name):
        path = os.path.join(self.server.files, name)
        if "/" in name or name.startswith(".") or not os.path.isfile(path):
            body = b"not found\n"
            self.send_body_headers(404, len(body))
            self.wfile.write(body)
            return
        data = open(path, "rb").read()
        self.send_body_headers(200, len(data))
        if not slow:
            self.wfile.write(data)
            return
        piece = 16384
        pieces = max(1, (len(data) + piece - 1) // piece)
        for start in range(0, len(data), piece):
            self.wfile.write(data[start:start + piece])
            self.wfile.flush()
            time.sleep(self.server.slow_seconds / pieces)

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path or "/"
        self.record(path)
        parts = path.strip("/").split("/")
        try:
            number = int(parts[1]) if len(parts) == 2 else None
        except ValueError:
            number = None
        if parts[0] == "size" and number is not None:
            self.send_body_headers(200, number)
            self.stream(number)
        elif parts[0] == "status" and number is not None:
            body = f"status {number}\n".encode()
            self.send_body_headers(number, len(body))
            self.wfile.write(body)
        elif parts[0] == "drop" and number is not None:
            self.send_body_headers(200, number)
            self.stream(number // 2)
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
        elif parts[0] == "close":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
        elif parts[0] in ("files", "slowfiles") and len(parts) == 2 and self.server.files:
            self.send_file(parts[0] == "slowfiles", parts[1])
        elif parts[0] == "slow" and number is not None:
            self.send_body_headers(200, number)
            self.stream(number, piece=16384, pause=0.05)
        else:
            body = b"not found\n"
            self.send_body_headers(404, len(body))
            self.wfile.write(body)


def bind_with_retry(make, deadline):
    """The port may still be held by a previous run: retry until the deadline."""
    while True:
        try:
            return make()
        except OSError:
            if time.time() > deadline:
                raise
            time.sleep(0.5)


def serve(args, address, context, deadline):
    """An HTTPS server of the test paths on address:port, not yet serving."""
    http.server.ThreadingHTTPServer.allow_reuse_address = True
    server = bind_with_retry(
        lambda: http.server.ThreadingHTTPServer((address, args.port), Handler), deadline)
    server.daemon_threads = True
    # The handshake runs in the connection's own thread, not in accept().
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    server.log_path = args.log
    server.log_lock = LOG_LOCK
    server.files = args.files
    server.slow_seconds = args.slow_seconds
    return server


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=443)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--log", default=os.devnull)
    parser.add_argument("--mode", choices=["serve", "no-accept"], default="serve")
    parser.add_argument("--lifetime", type=float, default=1800)
    parser.add_argument("--bind-wait", type=float, default=60)
    parser.add_argument("--files", help="folder served under /files/ and /slowfiles/")
    parser.add_argument("--slow-seconds", type=float, default=5)
    parser.add_argument("--tls11-address")
    parser.add_argument("--tls11-cert")
    parser.add_argument("--tls11-key")
    args = parser.parse_args()

    deadline = time.time() + args.bind_wait
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))

    if args.mode == "no-accept":
        def make():
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind((args.address, args.port))
            s.listen(0)
            return s
        listener = bind_with_retry(make, deadline)
        # One connection the server never accepts fills the queue; later
        # handshakes go unanswered.
        filler = socket.create_connection((args.address, args.port))
        print("ready", flush=True)
        while True:
            time.sleep(3600)
        del listener, filler

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server = serve(args, args.address, context, deadline)
    if args.tls11_address:
        old = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        old.set_ciphers("DEFAULT:@SECLEVEL=0")
        old.minimum_version = ssl.TLSVersion.TLSv1
        old.maximum_version = ssl.TLSVersion.TLSv1_1
        old.load_cert_chain(args.tls11_cert, args.tls11_key)
        threading.Thread(target=serve(args, args.tls11_address, old, deadline).serve_forever,
                         daemon=True).start()
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
