#!/usr/bin/python3
"""An FTP server on loopback for the upload tests (pyftpdlib).

Prints "PORT <n>" once it listens. Modes:
  normal  serves the root to one user;
  stall   stops reading an upload after --after bytes and never answers again;
  drop    dies (dropping every connection) after --after bytes of an upload;
  silent  accepts connections and never says a word (no FTP greeting).
Every command the server receives is appended to --log (the password masked).
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
    parser.add_argument("--mode", default="normal", choices=["normal", "stall", "drop", "silent"])
    parser.add_argument("--after", type=int, default=65536)
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
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

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
            super().handle_read_event()

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
