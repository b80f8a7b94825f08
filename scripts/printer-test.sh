#!/usr/bin/env bash
# Prints through a private Veltrane queue (printer-queue.sh --private) into temporary folders, as an
# ordinary test user and with a name given to lp -U that is not the user's, and checks who may read
# and write what: the modes of the folders, the PDF and the log, the control file's RespondEmail, and
# that tarvikdrop refuses a user who asks for more than their own PDF.
#
#   scripts/printer-test.sh [BUILD_DIR]      (default: build; uses BUILD_DIR/bin/tarvikdrop)
#
# Needs root, cups and printer-driver-cups-pdf. It creates a test user, and the group tarvik when it
# is missing, and removes both again: run it under the exclusive machine lock.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
readonly QUEUE_SCRIPT=$root/scripts/printer-queue.sh
readonly PRINTER_USER=tarvikprt$$
readonly DOMAIN=example.com

# shellcheck source=check-lib.sh
source "$root/scripts/check-lib.sh"

[ "$(id -u)" -eq 0 ] || { echo "printer-test: needs root" >&2; exit 2; }
[ -x "$build/bin/tarvikdrop" ] || { echo "printer-test: build tarvikdrop first ($build/bin/tarvikdrop)" >&2; exit 2; }
if getent passwd "$PRINTER_USER" >/dev/null; then
    echo "printer-test: the user $PRINTER_USER exists already" >&2
    exit 2
fi

work=$(mktemp -d /tmp/tarvik-printer-test.XXXXXX)
chmod 0755 "$work"
made_group=0
made_user=0
cleanup() {
    bash "$QUEUE_SCRIPT" teardown --private "$work/cups" >/dev/null 2>&1 || true
    [ $made_user -eq 0 ] || userdel "$PRINTER_USER" 2>/dev/null || true
    [ $made_group -eq 0 ] || groupdel tarvik 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if ! getent group tarvik >/dev/null; then
    groupadd --system tarvik
    made_group=1
fi
useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$PRINTER_USER"
made_user=1
as_user() { setpriv --reuid="$PRINTER_USER" --regid="$PRINTER_USER" --init-groups "$@"; }
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }

# The program as the package installs it: root's, setgid tarvik.
mkdir -m 0755 "$work/bin"
install -m 2755 -o root -g tarvik "$build/bin/tarvikdrop" "$work/bin/tarvikdrop"
printf '%%!PS\n/Helvetica findfont 24 scalefont setfont 72 720 moveto (Veltrane page) show showpage\n' \
    >"$work/page.ps"
chmod 0644 "$work/page.ps"

bash "$QUEUE_SCRIPT" setup --incoming "$work/in" --documents "$work/docs" --private "$work/cups" \
    --respond-domain "$DOMAIN" --tarvikdrop "$work/bin/tarvikdrop" >/dev/null
export CUPS_SERVER=$work/cups/cups.sock

modes() { [ "$(stat -c '%a %U %G' "$1")" = "$2" ]; }
owner=root
! getent passwd tarvik >/dev/null || owner=tarvik
check "the incoming folder is the service's and its group's alone" modes "$work/in" "2770 $owner tarvik"
check "the documents folder gives each PDF the group tarvik" modes "$work/docs" "3773 root tarvik"
check "the post-processing log is closed to other users" modes "$work/cups/postprocess.log" "660 root tarvik"
check "tarvikdrop's configuration is root's" modes /etc/opt/tarvik/printdrop.conf "644 root root"

refused() { ! "$@" >/dev/null 2>&1; }

# A page printed by the test user.
control_of() { ls "$work"/in/job_*-"$1".txt 2>/dev/null | head -1; }
printed() { [ -n "$(control_of "$1")" ]; }
as_user env CUPS_SERVER="$CUPS_SERVER" lp -d Veltrane -t own-page "$work/page.ps" >/dev/null
if wait_for 30 printed own-page; then
    control=$(control_of own-page)
    pdf=$(sed -n 's/^File: \(.*\)\r$/\1/p' "$control")
    check "the control file names the PDF in the documents folder" \
        test "$(dirname "$pdf")" = "$work/docs" -a -s "$pdf"
    check "the reply goes to the account that printed" grep -qx "RespondEmail: $PRINTER_USER@$DOMAIN"$'\r' "$control"
    check "the PDF is the user's, readable by the group tarvik only" modes "$pdf" "640 $PRINTER_USER tarvik"
    check "the control file is readable by the group tarvik only" modes "$control" "640 $PRINTER_USER tarvik"
    check "another user cannot read the PDF" refused as_nobody cat "$pdf"
    check "another user cannot list the incoming folder" refused as_nobody ls "$work/in"
    check "the log tells which control file was written" grep -qF "control file $control for $pdf" \
        "$work/cups/postprocess.log"
else
    fail "a page printed by an ordinary user ends as a control file"
    cat "$work/cups/postprocess.log" "$work/cups/log/error_log" 2>/dev/null || true
fi

# The same user claims to be someone else, one that does not exist and root: the scheduler refuses
# the job, or it runs as the user's own account; the name given never counts.
for spoof in chief-executive root; do
    if as_user env CUPS_SERVER="$CUPS_SERVER" lp -U "$spoof" -d Veltrane -t "spoof-$spoof" "$work/page.ps" \
        >/dev/null 2>&1 </dev/null; then
        if wait_for 30 printed "spoof-$spoof"; then
            control=$(control_of "spoof-$spoof")
            check "a job printed as lp -U $spoof replies to the account that printed it" \
                grep -qx "RespondEmail: $PRINTER_USER@$DOMAIN"$'\r' "$control"
        else
            fail "a job printed as lp -U $spoof ends as a control file"
        fi
    else
        pass "a job printed as lp -U $spoof is refused"
    fi
    check "a job printed as lp -U $spoof leaves no PDF of another account" \
        bash -c "! find '$work/docs' -name '*-spoof-$spoof.pdf' ! -user '$PRINTER_USER' | grep -q ."
done

# Root prints as root; a job whose PDF could not be written leaves no control file, and the log says
# why (the documents folder closed to the user for a moment).
lp -d Veltrane -t root-page "$work/page.ps" >/dev/null
root_replies() { wait_for 30 printed root-page && grep -qx "RespondEmail: root@$DOMAIN"$'\r' "$(control_of root-page)"; }
check "root's job replies to root" root_replies
chmod 0755 "$work/docs"
as_user env CUPS_SERVER="$CUPS_SERVER" lp -d Veltrane -t lost-page "$work/page.ps" >/dev/null
lost_logged() { grep -q -- "-lost-page.pdf: the PDF was not written" "$work/cups/postprocess.log"; }
check "a job without its PDF is logged" wait_for 30 lost_logged
check "a job without its PDF leaves no control file" refused printed lost-page
chmod 3773 "$work/docs"

# The user calls the installed tarvikdrop by hand and asks for more than their own PDF.
no_new_control() { [ "$(ls "$work/in" | wc -l)" -eq "$1" ]; }
count=$(ls "$work/in" | wc -l)
cp "$work/page.ps" "$work/docs/job_99-root.pdf"
check "a user cannot hand in another user's PDF" \
    refused as_user "$work/bin/tarvikdrop" "$work/docs/job_99-root.pdf"
check "a user cannot claim another account" \
    refused as_user "$work/bin/tarvikdrop" "$work/docs/job_99-root.pdf" root
printf 'Incoming = %s\nDocuments = /\nDomain = evil.example\n' "$work/in" >"$work/evil.conf"
check "a user cannot name a configuration of their own" \
    refused as_user "$work/bin/tarvikdrop" --config "$work/evil.conf" /etc/shadow
check "nothing refused reached the incoming folder" no_new_control "$count"
check "the refusals are logged" grep -q "does not belong to $PRINTER_USER" "$work/cups/postprocess.log"

# Setup changes no folder that a link planted by another user leads to.
mkdir -m 1777 "$work/public"
mkdir -m 0755 "$work/target"
as_nobody ln -s "$work/target" "$work/public/planted"
check "setup refuses a folder reached through another user's link" refused bash "$QUEUE_SCRIPT" setup \
    --incoming "$work/public/planted/in" --documents "$work/docs" --private "$work/cups" \
    --respond-domain "$DOMAIN" --tarvikdrop "$work/bin/tarvikdrop"
check "nothing was made behind the link" test ! -e "$work/target/in"

bash "$QUEUE_SCRIPT" teardown --private "$work/cups" >/dev/null
check "teardown removes tarvikdrop's and cups-pdf's settings" \
    test ! -e /etc/opt/tarvik/printdrop.conf -a ! -e /etc/cups/cups-pdf-Veltrane.conf

echo "printer-test: $passed passed, $failed failed"
((failed == 0))
