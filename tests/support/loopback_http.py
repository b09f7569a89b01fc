#!/usr/bin/env python3
"""A scripted HTTP server on 127.0.0.1 for the download tests.

Usage: loopback_http.py DIRECTORY LOGFILE
Prints the bound port on the first line of standard output, then serves until killed. Every request
is appended to LOGFILE as one JSON object per line: the request target as sent (absolute form when the
client talks to a proxy) and the request headers.

Scripted paths (anything else is a file of DIRECTORY):
  /status/CODE/...               answers CODE with a short body
  /bytes/N/...                   answers N bytes
  /slow/N/MS/...                 answers N bytes in blocks of 1000, MS milliseconds apart
  /shrinking/NAME                first request: declares 2000 bytes, sends 1000 and closes;
                                 later requests: 900 bytes, complete
  /redirect/REST                 302 to /REST
  /auth/USER/PASSWORD/...        401 with a Basic challenge unless those credentials are sent
A request in absolute form (as to a proxy) is answered for its path as above.
"""
import base64
import http.server
import json
import os
import sys
import threading
import time
import urllib.parse

DIRECTORY, LOG = sys.argv[1], sys.argv[2]
log_lock = threading.Lock()
seen = {}


def pattern(n):
    return bytes((i * 7 + 3) % 251 for i in range(n))


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=DIRECTORY, **kwargs)

    def log_message(self, *args):
        pass

    def record(self):
        entry = {"target": self.path, "headers": dict(self.headers.items())}
        with log_lock:
            with open(LOG, "a") as f:
                f.write(json.dumps(entry) + "\n")

    def answer(self, code, body, declared=None, headers=()):
        self.send_response(code)
        self.send_header("Content-Length", str(len(body) if declared is None else declared))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        self.record()
        if self.path.startswith("http://"):
            self.path = urllib.parse.urlsplit(self.path).path
        parts = self.path.split("/")[1:]
        kind = parts[0] if parts else ""
        if kind == "status":
            self.answer(int(parts[1]), b"scripted status\n")
        elif kind == "bytes":
            self.answer(200, pattern(int(parts[1])))
        elif kind == "slow":
            size, pause = int(parts[1]), int(parts[2]) / 1000.0
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            body = pattern(size)
            for start in range(0, size, 1000):
                self.wfile.write(body[start:start + 1000])
                self.wfile.flush()
                time.sleep(pause)
        elif kind == "shrinking":
            with log_lock:
                count = seen.get(self.path, 0)
                seen[self.path] = count + 1
            if count == 0:
                self.answer(200, pattern(1000), declared=2000)
                self.close_connection = True
            else:
                self.answer(200, pattern(900))
        elif kind == "redirect":
            self.answer(302, b"", headers=[("Location", "/" + "/".join(parts[1:]))])
        elif kind == "auth":
            wanted = "Basic " + base64.b64encode((parts[1] + ":" + parts[2]).encode()).decode()
            if self.headers.get("Authorization") == wanted:
                self.answer(200, b"authorised\n")
            else:
                self.answer(401, b"who are you\n", headers=[("WWW-Authenticate", 'Basic realm="test"')])
        else:
            super().do_GET()


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
