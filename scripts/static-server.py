#!/usr/bin/env python3
"""static-server.py FOLDER [SLOW-SUFFIX SECONDS]

Serves FOLDER on a free loopback port and prints "Serving HTTP on 127.0.0.1 port N" first.
Requests for paths ending in SLOW-SUFFIX wait SECONDS before the answer (for screenshots).
http.server writes headers and body apart: without TCP_NODELAY each request waits some 40 ms
for a delayed acknowledgement.
"""
import functools
import http.server
import socket
import sys
import time

folder = sys.argv[1]
slow_suffix = sys.argv[2] if len(sys.argv) > 2 else None
slow_seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 0.0


class Handler(http.server.SimpleHTTPRequestHandler):
    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def do_GET(self):
        if slow_suffix and self.path.endswith(slow_suffix):
            time.sleep(slow_seconds)
        super().do_GET()


server = http.server.ThreadingHTTPServer(
    ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
print("Serving HTTP on 127.0.0.1 port %d" % server.server_address[1], flush=True)
server.serve_forever()
