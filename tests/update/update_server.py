#!/usr/bin/env python3
"""An update server for the tests: answers each request path as the routes file (JSON) says.

  update_server.py ROUTES LOG [CERT KEY]

The routes file is read again for every request, so a test may change it between requests:
  { "/updates/MK-1/TolvaneGrain": {"status": 200, "body_file": "/tmp/x", "length": "auto",
                                   "send": 3000, "chunk": 1000, "delay": 0.05},
    "/updates/MK-1/TolvaneGrain.ini": {"status": 404, "body_size": 5000} }
  status     HTTP status (200)
  body_file  the body's bytes, or body_size bytes of "x"
  length     "auto" (the body's length), "none" (no Content-Length, the body ends at close) or a number
  send       bytes actually sent (a truncated body), all by default
  chunk, delay   send in chunks with a pause between them (a slow body)
Any other path: 404 with a short body. Each request appends "<path> <user agent>" to LOG.
Prints "ready <port>" once it listens on 127.0.0.1.
"""
import http.server
import json
import ssl
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with LOCK:
            with open(LOG, "a", encoding="utf-8") as log:
                log.write("%s %s\n" % (self.path, self.headers.get("User-Agent", "")))
        with open(ROUTES, encoding="utf-8") as f:
            routes = json.load(f)
        route = routes.get(self.path)
        if route is None:
            body = b"not here"
            self.send_response(404)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if "body_file" in route:
            with open(route["body_file"], "rb") as f:
                body = f.read()
        else:
            body = b"x" * route.get("body_size", 0)
        self.send_response(route.get("status", 200))
        length = route.get("length", "auto")
        if length == "auto":
            self.send_header("Content-Length", str(len(body)))
        elif length != "none":
            self.send_header("Content-Length", str(length))
        self.end_headers()
        body = body[: route.get("send", len(body))]
        chunk = route.get("chunk", len(body)) or 1
        for start in range(0, len(body), chunk):
            if start > 0:
                time.sleep(route.get("delay", 0))
            self.wfile.write(body[start : start + chunk])
            self.wfile.flush()


ROUTES, LOG = sys.argv[1], sys.argv[2]
LOCK = threading.Lock()
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
if len(sys.argv) >= 5:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[3], sys.argv[4])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print("ready %d" % server.server_address[1], flush=True)
server.serve_forever()
