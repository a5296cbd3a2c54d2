#!/usr/bin/python3
"""A web server for the maintenance tests: serves the files under --root with
Last-Modified and Content-Length (HEAD and GET), over TLS when given a
certificate. Prints "PORT <n>" once it listens.

  --stall NAME       GET of NAME sends the headers and half the body, then hangs
  --redirect NAME=URL  NAME answers 302 to URL
  --status NAME=CODE   NAME answers CODE (HEAD and GET)
  --log FILE         one line per request: "METHOD PATH"
"""
import argparse
import http.server
import os
import ssl
import sys
import threading
import time


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--root', required=True)
    ap.add_argument('--cert')
    ap.add_argument('--key')
    ap.add_argument('--stall', action='append', default=[])
    ap.add_argument('--redirect', action='append', default=[])
    ap.add_argument('--status', action='append', default=[])
    ap.add_argument('--log')
    args = ap.parse_args()
    redirects = dict(r.split('=', 1) for r in args.redirect)
    statuses = {k: int(v) for k, v in (s.split('=', 1) for s in args.status)}
    log_lock = threading.Lock()

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **kw):
            super().__init__(*a, directory=args.root, **kw)

        def log_message(self, *a):
            pass

        def name(self):
            return self.path.split('?')[0].rsplit('/', 1)[-1]

        def record(self):
            if args.log:
                with log_lock, open(args.log, 'a') as f:
                    f.write('%s %s\n' % (self.command, self.path))

        def special(self):
            self.record()
            n = self.name()
            if n in statuses:
                self.send_error(statuses[n])
                return True
            if n in redirects:
                self.send_response(302)
                self.send_header('Location', redirects[n])
                self.send_header('Content-Length', '0')
                self.end_headers()
                return True
            return False

        def do_HEAD(self):
            if not self.special():
                super().do_HEAD()

        def do_GET(self):
            if self.special():
                return
            if self.name() in args.stall:
                path = self.translate_path(self.path)
                data = open(path, 'rb').read()
                self.send_response(200)
                self.send_header('Content-Length', str(len(data)))
                self.end_headers()
                self.wfile.write(data[:len(data) // 2])
                self.wfile.flush()
                time.sleep(3600)
                return
            super().do_GET()

    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    server.daemon_threads = True
    if args.cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    print('PORT %d' % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == '__main__':
    sys.exit(main())
