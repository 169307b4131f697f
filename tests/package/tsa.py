#!/usr/bin/env python3
"""A time-stamping server (RFC 3161) on 127.0.0.1 for the signing test: openssl's ts
command answers each POSTed request. Prints the port it listens on, then serves until it
is ended.  Usage: tsa.py OPENSSL_TS_CONFIG"""
import http.server
import subprocess
import sys

config = sys.argv[1]


class TimeStamping(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        answer = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", "/dev/stdin"],
                                input=query, capture_output=True)
        if answer.returncode != 0 or not answer.stdout:
            sys.stderr.write(answer.stderr.decode(errors="replace"))
            self.send_error(500)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(answer.stdout)))
        self.end_headers()
        self.wfile.write(answer.stdout)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamping)
print(server.server_address[1], flush=True)
server.serve_forever()
