#!/usr/bin/env bash
# Runs the service in the foreground on a demo configuration: directories under demo/ at the
# repository root, a local SMTP sink on 127.0.0.1:2525 that stores the mails in demo/mail/, and the
# named objects and the registry inside demo/ as well, so that nothing needs root paths.
#   bash scripts/run-demo.sh <bin directory>      (./run.sh passes build/bin)
# Writes <bin>/tarvik.ini afresh on every run. Ctrl-C stops the service and the SMTP sink.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(cd "${1:?usage: $0 <bin directory>}" && pwd)"
exe="$bin/tarvik"
if [ ! -x "$exe" ]; then
  echo "run-demo: $exe does not exist (or is not executable); build the service first." >&2
  exit 1
fi

demo="$root/demo"
mkdir -p "$demo"/{in,out,err,pdf,mail,objects,registry}
export TARVIK_OBJECTS_DIR="$demo/objects"
export TARVIK_REGISTRY_DIR="$demo/registry"

# The settings file: UTF-16LE with the byte-order mark, CR LF line ends.
{
  printf '\xff\xfe'
  printf '%s\r\n' \
    "[General]" \
    "AttemptTimeout=5" \
    "TxtInDir=$demo/in/" \
    "TxtOutDir=$demo/out/" \
    "PdfDefDir=$demo/pdf/" \
    "Attempts=5" \
    "MoveErr=1" \
    "TxtErrDir=$demo/err/" \
    "[E-mail]" \
    "DefEmail=operator@localhost" \
    "EmSmtpServer=127.0.0.1" \
    "EmSenderEmail=tarvik-demo@localhost" \
    "EmSenderName=Tarvik demo" \
    "EmSubject=Tarvik demo: document did not arrive" \
    "EmPort=2525" | iconv -f UTF-8 -t UTF-16LE
} >"$bin/tarvik.ini.new"
mv -f "$bin/tarvik.ini.new" "$bin/tarvik.ini"

# The SMTP sink, stopped again whenever this script ends.
sink_pid=""
cleanup() {
  if [ -n "$sink_pid" ]; then
    kill "$sink_pid" 2>/dev/null || true
    wait "$sink_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

port_file="$demo/smtp.port"
rm -f "$port_file"
sink="$root/tests/support/smtp_sink.py"
if [ -f "$sink" ]; then
  /usr/bin/python3 "$sink" --host 127.0.0.1 --port 2525 --maildir "$demo/mail" --port-file "$port_file" &
else
  /usr/bin/python3 - "$demo/mail" "$port_file" <<'EOF' &
import itertools, os, signal, sys, threading
from aiosmtpd.controller import Controller
maildir, port_file = sys.argv[1], sys.argv[2]
numbers = itertools.count(1)
class Store:
    async def handle_DATA(self, server, session, envelope):
        with open(os.path.join(maildir, "%d.eml" % next(numbers)), "wb") as f:
            f.write(envelope.original_content or envelope.content)
        return "250 Message accepted for delivery"
controller = Controller(Store(), hostname="127.0.0.1", port=2525)
controller.start()
with open(port_file, "w") as f:
    f.write("2525\n")
stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
signal.signal(signal.SIGINT, lambda *_: stop.set())
stop.wait()
controller.stop()
EOF
fi
sink_pid=$!
for _ in $(seq 100); do
  [ -s "$port_file" ] && break
  if ! kill -0 "$sink_pid" 2>/dev/null; then
    echo "run-demo: the SMTP sink did not start (is 127.0.0.1:2525 in use?)" >&2
    exit 1
  fi
  sleep 0.1
done
[ -s "$port_file" ] || { echo "run-demo: the SMTP sink did not come up" >&2; exit 1; }

# A one-page sample document.
if [ ! -f "$demo/sample.pdf" ] && command -v gs >/dev/null; then
  gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o "$demo/sample.pdf" \
    -c "/Helvetica findfont 24 scalefont setfont 72 720 moveto (Tarvik demo) show showpage" >/dev/null
fi

cat <<EOF
Tarvik demo: settings in $bin/tarvik.ini, folders in $demo, mails land in $demo/mail/ (every address goes to the sink).
  Release a document:  cp "$demo/sample.pdf" "$demo/pdf/sample.pdf" && printf 'File: sample.pdf\r\nRespondEmail: you@example.com\r\n' > "$demo/in/sample.txt"
  A document that never comes (mailed and moved to err/ after 5 attempts):  printf 'File: missing.pdf\r\nRespondEmail: you@example.com\r\n' > "$demo/in/missing.txt"
Stop with Ctrl-C.
EOF

# In the foreground as a child (not exec), so that the trap above stops the sink afterwards.
status=0
"$exe" "${@:2}" || status=$?
exit "$status"
