#!/usr/bin/python3
"""A real SMTP server on loopback that stores every mail it accepts, for tests.

Usage:
    /usr/bin/python3 tests/support/smtp_sink.py --host 127.0.0.1 --port 0 \
        --maildir DIR --port-file FILE

Runs Debian's aiosmtpd Controller. With --port 0 a free port is chosen. Once the server accepts
connections, its port is written (decimal, one line) to FILE; the file appears whole, by rename.
Every accepted message n (1, 2, ...) is stored as DIR/<n>.eml (the DATA bytes as received, dot
transparency already undone) and then DIR/<n>.json with "mail_from", "rcpt_tos" and "helo";
the .json file appears last and whole, so a reader that sees it may read both.
SIGTERM or SIGINT stops the server and ends the process with code 0.

tests/support/CSmtpSink.h starts and stops this script from C++ tests and reads the messages.
"""

import argparse
import json
import os
import signal
import socket
import sys
import threading

from aiosmtpd.controller import Controller


def write_whole(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


class StoringHandler:
    def __init__(self, maildir):
        self.maildir = maildir
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        content = envelope.original_content
        if content is None:
            content = envelope.content
        if isinstance(content, str):
            content = content.encode("utf-8", "surrogateescape")
        write_whole(os.path.join(self.maildir, "%d.eml" % n), content)
        meta = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "helo": session.host_name,
        }
        write_whole(os.path.join(self.maildir, "%d.json" % n), json.dumps(meta).encode("utf-8"))
        return "250 Message accepted for delivery"


def free_port(host):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()

    os.makedirs(args.maildir, exist_ok=True)
    handler = StoringHandler(args.maildir)

    # The Controller checks readiness by connecting to its own port, so it needs a real port
    # number: pick a free one, and pick again if another process took it in between.
    controller = None
    last_error = None
    for _ in range(10):
        port = args.port if args.port else free_port(args.host)
        candidate = Controller(handler, hostname=args.host, port=port, ready_timeout=30)
        try:
            candidate.start()
        except Exception as e:  # the port was taken, or the server failed to come up
            last_error = e
            if args.port:
                break
            continue
        controller = candidate
        break
    if controller is None:
        print("smtp_sink: cannot start: %s" % last_error, file=sys.stderr)
        return 1

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    write_whole(args.port_file, ("%d\n" % controller.port).encode("ascii"))
    while not stop.wait(1.0):
        pass
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
