#!/usr/bin/python3
"""Independent reading of a stored mail with Python's email package (default policy), for tests.

Usage:
    /usr/bin/python3 tests/support/parse_mail.py MESSAGE.eml [--extract DIR]

Prints one fact per line as KEY, a tab, and the value as a JSON string, so that a test can read
the output without a JSON library:
    defects        number of defects found anywhere (message, parts, header values)
    defect.N       class name of defect N
    from.N.name / from.N.addr, to.N.name / to.N.addr, cc.N.name / cc.N.addr
    subject, date (ISO 8601 with its zone), date.utcoffset (+HHMM)
    content_type   of the message; parts = number of leaf parts
    part.N.content_type, part.N.filename, part.N.disposition, part.N.cte
    part.N.lines   number of text lines; part.N.line.M each line of a text part (decoded)
    part.N.file    with --extract: path of DIR/N.bin holding the part's decoded bytes
    part.N.size    number of decoded bytes
"""

import argparse
import email
import email.policy
import json
import os
import sys


def out(key, value):
    sys.stdout.write("%s\t%s\n" % (key, json.dumps(str(value))))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("eml")
    parser.add_argument("--extract")
    args = parser.parse_args()

    with open(args.eml, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)

    defects = []
    for part in msg.walk():
        defects.extend(type(d).__name__ for d in part.defects)
    for name in ("From", "To", "Cc", "Subject", "Date"):
        header = msg.get(name)
        if header is not None:
            defects.extend("%s:%s" % (name, type(d).__name__) for d in header.defects)

    for name, key in (("From", "from"), ("To", "to"), ("Cc", "cc")):
        header = msg.get(name)
        if header is None:
            continue
        for i, address in enumerate(header.addresses):
            out("%s.%d.name" % (key, i), address.display_name)
            out("%s.%d.addr" % (key, i), address.addr_spec)
    if msg.get("Subject") is not None:
        out("subject", msg["Subject"])
    date = msg.get("Date")
    if date is not None and getattr(date, "datetime", None) is not None:
        out("date", date.datetime.isoformat())
        offset = date.datetime.utcoffset()
        if offset is not None:
            minutes = int(offset.total_seconds()) // 60
            sign = "-" if minutes < 0 else "+"
            out("date.utcoffset", "%s%02d%02d" % (sign, abs(minutes) // 60, abs(minutes) % 60))
    out("content_type", msg.get_content_type())

    leaves = [p for p in msg.walk() if not p.is_multipart()]
    out("parts", len(leaves))
    for n, part in enumerate(leaves):
        out("part.%d.content_type" % n, part.get_content_type())
        out("part.%d.filename" % n, part.get_filename() or "")
        out("part.%d.disposition" % n, part.get_content_disposition() or "")
        out("part.%d.cte" % n, part.get("Content-Transfer-Encoding", ""))
        data = part.get_payload(decode=True) or b""
        out("part.%d.size" % n, len(data))
        if part.get_content_maintype() == "text":
            text = part.get_content()
            lines = text.splitlines()
            out("part.%d.lines" % n, len(lines))
            for m, line in enumerate(lines):
                out("part.%d.line.%d" % (n, m), line)
        if args.extract:
            os.makedirs(args.extract, exist_ok=True)
            path = os.path.join(args.extract, "%d.bin" % n)
            with open(path, "wb") as f:
                f.write(data)
            out("part.%d.file" % n, path)

    out("defects", len(defects))
    for i, name in enumerate(defects):
        out("defect.%d" % i, name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
