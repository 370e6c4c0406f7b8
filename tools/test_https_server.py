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
  /ranged/N      N bytes of the pattern
  /changing/N    N bytes of the pattern from offset K, with validators that
                 change with K, the number of earlier requests for the path
  /stall/N       announces N bytes, sends half of them, then stays silent
                 with the connection open for a minute
  /nolength/N    N bytes of the pattern without Content-Length; closing the
                 connection ends the body
  /badlength/N   the same with a Content-Length that is no number
  anything else  404
/files/, /slowfiles/, /ranged/ and /changing/ send a strong ETag and
Last-Modified and honour a single "Range: bytes=A-" or "bytes=A-B" with
If-Range. Prefixes, combinable, change how they answer:
  /cutonce/PATH     the first request for PATH without Range announces the
                    whole body, sends half of it, then drops the connection
  /ignorerange/PATH answers every request with 200 and the whole body
  /badrange/PATH    answers a Range with 206 and a Content-Range that does
                    not start where it was asked to
Every request is appended to --log as "METHOD PATH USER-AGENT", followed by
" Range=VALUE" when it has a Range header.
--mode no-accept listens but never accepts, and keeps the queue full, so a
client's connect times out. --tls11-address serves the same paths on a
second address (same port, --tls11-cert and --tls11-key) that offers TLS 1.0
and 1.1 only. The server ends itself after --lifetime seconds.
"""
import argparse
import email.utils
import hashlib
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
        ranged = self.headers.get("Range")
        with self.server.log_lock, open(self.server.log_path, "a") as log:
            log.write(f"{self.command} {path} {self.headers.get('User-Agent', '-')}"
                      + (f" Range={ranged}" if ranged else "") + "\n")

    def send_body_headers(self, code, length, extra=()):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()

    def cut(self):
        self.wfile.flush()
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

    def requested_range(self, length, etag, modified, ignore):
        """(first, last) of a satisfiable single-range request that its
        If-Range allows; None for the whole body; "unsatisfiable" for a
        start at or past the end."""
        value = self.headers.get("Range")
        if ignore or value is None or not value.startswith("bytes=") or "," in value:
            return None
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range not in (etag, modified):
            return None
        first, _, last = value[len("bytes="):].partition("-")
        try:
            first = int(first)
            last = int(last) if last else length - 1
        except ValueError:
            return None
        if first >= length:
            return "unsatisfiable"
        return first, min(last, length - 1)

    def send_resource(self, data, length, etag, modified, modifiers, slow):
        """`data`(offset, count) gives bytes of the body of `length` bytes."""
        validators = (("ETag", etag), ("Last-Modified", modified))
        key = self.path_key
        if "cutonce" in modifiers and self.headers.get("Range") is None:
            with self.server.log_lock:
                first_time = key not in self.server.cut_done
                self.server.cut_done.add(key)
            if first_time:
                self.send_body_headers(200, length, validators)
                self.write_slowly(data, 0, length // 2, slow, length)
                self.cut()
                return
        wanted = self.requested_range(length, etag, modified, "ignorerange" in modifiers)
        if wanted == "unsatisfiable":
            self.send_body_headers(416, 0, (("Content-Range", f"bytes */{length}"),) + validators)
            return
        if wanted is None:
            self.send_body_headers(200, length, validators)
            self.write_slowly(data, 0, length, slow, length)
            return
        first, last = wanted
        claimed = first + 1 if "badrange" in modifiers else first
        self.send_body_headers(206, last - first + 1,
                               (("Content-Range", f"bytes {claimed}-{last}/{length}"),) + validators)
        self.write_slowly(data, first, last - first + 1, slow, length)

    def write_slowly(self, data, offset, count, slow, whole):
        """Bytes [offset, offset + count); spread over --slow-seconds for the
        whole body when `slow`."""
        piece = 16384 if slow else 1 << 20
        pieces = max(1, (whole + piece - 1) // piece)
        end = offset + count
        while offset < end:
            n = min(piece, end - offset)
            self.wfile.write(data(offset, n))
            offset += n
            if slow:
                self.wfile.flush()
                time.sleep(self.server.slow_seconds / pieces)

    def stream(self, length, piece=1 << 20, pause=0.0):
        sent = 0
        while sent < length:
            n = min(piece, length - sent)
            self.wfile.write(pattern(sent, n))
            sent += n
            if pause:
                self.wfile.flush()
                time.sleep(pause)

    def not_found(self):
        body = b"not found\n"
        self.send_body_headers(404, len(body))
        self.wfile.write(body)

    def send_file(self, slow, name, modifiers=()):
        path = os.path.join(self.server.files, name)
        if "/" in name or name.startswith(".") or not os.path.isfile(path):
            self.not_found()
            return
        data = open(path, "rb").read()
        info = os.stat(path)
        etag = '"%s"' % hashlib.sha256(b"%d:%d" % (info.st_mtime_ns, info.st_size)).hexdigest()[:32]
        self.send_resource(lambda offset, n: data[offset:offset + n], len(data), etag,
                           email.utils.formatdate(info.st_mtime, usegmt=True), modifiers, slow)

    def send_pattern(self, number, version, modifiers):
        self.send_resource(lambda offset, n: pattern(version + offset, n), number, f'"p{number}v{version}"',
                           email.utils.formatdate(1_700_000_000 + version, usegmt=True), modifiers, False)

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path or "/"
        self.record(path)
        self.path_key = path
        parts = path.strip("/").split("/")
        modifiers = []
        while parts and parts[0] in ("cutonce", "ignorerange", "badrange"):
            modifiers.append(parts.pop(0))
        try:
            number = int(parts[1]) if len(parts) == 2 else None
        except ValueError:
            number = None
        kind = parts[0] if parts else ""
        if modifiers and kind not in ("files", "slowfiles", "ranged", "changing"):
            self.not_found()
        elif kind == "size" and number is not None:
            self.send_body_headers(200, number)
            self.stream(number)
        elif kind == "status" and number is not None:
            body = f"status {number}\n".encode()
            self.send_body_headers(number, len(body))
            self.wfile.write(body)
        elif kind == "drop" and number is not None:
            self.send_body_headers(200, number)
            self.stream(number // 2)
            self.cut()
        elif kind == "stall" and number is not None:
            self.send_body_headers(200, number)
            self.stream(number // 2)
            self.wfile.flush()
            time.sleep(60)
            self.cut()
        elif kind in ("nolength", "badlength") and number is not None:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            if kind == "badlength":
                self.send_header("Content-Length", "many")
            self.send_header("Connection", "close")
            self.end_headers()
            self.stream(number)
            self.cut()
        elif kind == "close":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
        elif kind in ("files", "slowfiles") and len(parts) == 2 and self.server.files:
            self.send_file(kind == "slowfiles", parts[1], modifiers)
        elif kind == "ranged" and number is not None:
            self.send_pattern(number, 0, modifiers)
        elif kind == "changing" and number is not None:
            with self.server.log_lock:
                version = self.server.versions.get(path, 0)
                self.server.versions[path] = version + 1
            self.send_pattern(number, version, modifiers)
        elif kind == "slow" and number is not None:
            self.send_body_headers(200, number)
            self.stream(number, piece=16384, pause=0.05)
        else:
            self.not_found()


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
    server.cut_done = set()
    server.versions = {}
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
