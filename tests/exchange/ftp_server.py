#!/usr/bin/python3
"""An FTP server on loopback for the upload tests (pyftpdlib).

Prints "PORT <n>" once it listens. Modes:
  normal      serves the root to one user;
  stall       stops reading an upload after --after bytes and never answers again;
  stall-data  stops reading an upload after --after bytes; everything else goes on;
  drop        dies (dropping every connection) after --after bytes of an upload;
  slow        reads uploads at --rate bytes per second;
  norename    refuses to rename (RNFR) for want of the permission;
  noreplace   refuses to rename onto an existing file, as some servers do;
  silent      accepts connections and never says a word (no FTP greeting).
Every command the server receives is appended to --log (the password masked).
With --tls-cert the server insists on explicit TLS and answers a plain login
with 530, as vsftpd does.
"""
import argparse
import os
import socket
import sys
import time


def silent(port_file_out):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(5)
    print("PORT %d" % listener.getsockname()[1], file=port_file_out, flush=True)
    held = []
    while True:
        conn, _ = listener.accept()
        held.append(conn)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="marvena")
    parser.add_argument("--password", default="slaptas")
    parser.add_argument("--mode", default="normal",
                        choices=["normal", "stall", "stall-data", "drop", "slow", "norename",
                                 "noreplace", "silent"])
    parser.add_argument("--after", type=int, default=65536)
    parser.add_argument("--rate", type=int, default=500000)
    parser.add_argument("--log", default=os.devnull)
    parser.add_argument("--tls-cert", default="")
    args = parser.parse_args()

    if args.mode == "silent":
        silent(sys.stdout)
        return

    import logging
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler
    from pyftpdlib.servers import FTPServer

    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    perm = "elradmwMT" if args.mode == "norename" else "elradfmwMT"
    authorizer.add_user(args.user, args.password, args.root, perm=perm)

    base_handler, base_dtp = FTPHandler, DTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
        base_handler, base_dtp = TLS_FTPHandler, TLS_DTPHandler

    class Dtp(base_dtp):
        def handle_read_event(self):
            if self.receive and self.tot_bytes_received >= args.after:
                if args.mode == "stall":
                    time.sleep(3600)
                elif args.mode == "drop":
                    os._exit(3)
                elif args.mode == "stall-data":
                    # Left open and unread; the control connection still answers.
                    self.ioloop.unregister(self._fileno)
                    return
            super().handle_read_event()

        def recv(self, buffer_size):
            if args.mode != "slow":
                return super().recv(buffer_size)
            # Small, evenly spaced reads: the client's buffers fill up and it
            # has handed over everything long before the last byte is read.
            chunk = super().recv(min(buffer_size, 8192))
            time.sleep(len(chunk) / args.rate)
            return chunk

        def readable(self):
            # A client may open the data connection before it sends STOR
            # (libcurl does); its TLS handshake must go on meanwhile, where
            # the stock handler would take the early bytes for a hang-up.
            if getattr(self, "_ssl_accepting", False):
                return True
            return super().readable()

    class Handler(base_handler):
        dtp_handler = Dtp

        def pre_process_command(self, line, cmd, arg):
            with open(args.log, "a") as log:
                log.write(("PASS ******" if cmd == "PASS" else line) + "\n")
            return super().pre_process_command(line, cmd, arg)

        def process_command(self, cmd, *rest, **kwargs):
            if (args.tls_cert and cmd in ("USER", "PASS")
                    and not getattr(self, "_ssl_established", False)):
                self.respond("530 Non-anonymous sessions must use encryption.")
                return
            return super().process_command(cmd, *rest, **kwargs)

        def ftp_RNTO(self, path):
            if args.mode == "noreplace" and self._rnfr and os.path.exists(path):
                self._rnfr = None
                self.respond("550 Cannot create a file when that file already exists.")
                return
            return super().ftp_RNTO(path)

    Handler.authorizer = authorizer
    if args.tls_cert:
        Handler.certfile = args.tls_cert
        Handler.tls_control_required = True
        Handler.tls_data_required = True
        # Clients resume the control connection's TLS session on the data
        # connection (servers such as vsftpd insist on it); that needs a
        # session id context.
        Handler.get_ssl_context().set_session_id(b"marvena-test")
    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
