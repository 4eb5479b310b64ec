#!/usr/bin/env python3
"""A loopback HTTP server for the stream tests.

Resources:
  /large        5 MB of a fixed pattern; ranges allowed
  /large.crc32  the CRC-32 of /large, as 8 hex digits
  /pattern      65 536 bytes, byte i = i % 251; ranges allowed
  /pattern.crc32 its CRC-32
  /slow         10 pieces of 1 000 bytes, 100 ms apart
  /truncated    promises 100 000 bytes, sends 1 000 and hangs up
  /echo         POST: answers "echo:" + the body and the request's Content-Type
  anything else 404

Listens on 127.0.0.1 at a free port, written to --port-file once listening,
and ends by itself after --lifetime seconds.
"""
import argparse
import http.server
import os
import socketserver
import sys
import threading
import time
import zlib

LARGE_SIZE = 5 * 1024 * 1024


def large_body():
    block = bytes((i * 31 + (i >> 8)) & 0xFF for i in range(65536))
    return (block * (LARGE_SIZE // len(block) + 1))[:LARGE_SIZE]


LARGE = large_body()
PATTERN = bytes(i % 251 for i in range(65536))
RESOURCES = {
    "/large": LARGE,
    "/large.crc32": ("%08x" % (zlib.crc32(LARGE) & 0xFFFFFFFF)).encode(),
    "/pattern": PATTERN,
    "/pattern.crc32": ("%08x" % (zlib.crc32(PATTERN) & 0xFFFFFFFF)).encode(),
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, status, body, content_type="application/octet-stream", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        path = self.path.split("?")[0]
        if path == "/slow":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", "10000")
            self.end_headers()
            for _ in range(10):
                self.wfile.write(b"s" * 1000)
                self.wfile.flush()
                time.sleep(0.1)
            return
        if path == "/truncated":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"t" * 1000)
            self.wfile.flush()
            self.close_connection = True
            return
        body = RESOURCES.get(path)
        if body is None:
            self.send_body(404, b"not found", "text/plain")
            return
        content_type = "text/plain" if path.endswith(".crc32") else "application/octet-stream"
        ranges = self.headers.get("Range")
        if ranges and ranges.startswith("bytes="):
            first, _, last = ranges[6:].split(",")[0].partition("-")
            begin = int(first)
            end = min(int(last) if last else len(body) - 1, len(body) - 1)
            if begin > end:
                self.send_body(416, b"", extra=[("Content-Range", "bytes */%d" % len(body))])
                return
            self.send_body(206, body[begin:end + 1], content_type,
                           [("Accept-Ranges", "bytes"),
                            ("Content-Range", "bytes %d-%d/%d" % (begin, end, len(body)))])
            return
        self.send_body(200, body, content_type, [("Accept-Ranges", "bytes")])

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if self.path.split("?")[0] != "/echo":
            self.send_body(404, b"not found", "text/plain")
            return
        kind = (self.headers.get("Content-Type") or "").encode()
        self.send_body(200, b"echo:" + body + b" type:" + kind, "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--lifetime", type=float, default=300)
    options = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    temporary = options.port_file + ".tmp"
    with open(temporary, "w") as out:
        out.write(str(server.server_address[1]))
    os.replace(temporary, options.port_file)
    threading.Timer(options.lifetime, server.shutdown).start()
    server.serve_forever()
    sys.exit(0)


if __name__ == "__main__":
    main()
