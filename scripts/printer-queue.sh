#!/usr/bin/env bash
# The printer queue "Veltrane" that feeds Tarvik: a CUPS queue with the cups-pdf backend, whose
# post-processing step writes a control file into Tarvik's incoming folder once the PDF is complete.
#
#   printer-queue.sh setup --incoming DIR --documents DIR [--respond-domain DOMAIN] [--private DIR]
#   printer-queue.sh teardown [--private DIR]
#
# Without --private the queue is added to the machine's CUPS, which must be running; its state (the
# post-processing program and its log) lies in /var/lib/tarvik-printer. With --private DIR a cupsd of
# its own runs in DIR, on the socket DIR/cups.sock, and leaves the machine's CUPS alone: point the
# client commands at it with CUPS_SERVER=DIR/cups.sock. Each job ends as DOCUMENTS/job_<N>-<title>.pdf
# and a control file job_<N>-<title>.txt in INCOMING with "File: <the PDF>" and
# "RespondEmail: <user>@<DOMAIN>". Print with a title: lp -d Veltrane -t <title> <file>.
# cups-pdf reads the queue's settings from /etc/cups/cups-pdf-Veltrane.conf, so one Veltrane queue
# can exist on the machine at a time; teardown removes that file again.
set -euo pipefail

readonly QUEUE=Veltrane
readonly CUPS_PDF_CONF=/etc/cups/cups-pdf-$QUEUE.conf
readonly BACKEND=/usr/lib/cups/backend/cups-pdf
readonly PPD=lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd
readonly MACHINE_STATE=/var/lib/tarvik-printer
readonly PRIVATE_MARK="# private CUPS of Tarvik's printer-queue.sh"

die() {
    echo "printer-queue: $*" >&2
    exit 1
}

usage() {
    sed -n '5,6p' "$0" | sed 's/^# *//' >&2
    exit 2
}

# The pid of the private cupsd recorded in DIR, when that process still runs on DIR's configuration.
private_cupsd_pid() {
    local dir=$1 pid
    [ -f "$dir/cupsd.pid" ] || return 1
    pid=$(cat "$dir/cupsd.pid")
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$dir/cupsd.conf" || return 1
    echo "$pid"
}

# lpstat -r exits with 0 whether or not the scheduler answers; its text tells.
scheduler_running() {
    [ "$(LC_ALL=C lpstat -r 2>/dev/null)" = "scheduler is running" ]
}

is_private_cups() {
    [ "$1" != / ] && head -n1 "$1/cups-files.conf" 2>/dev/null | grep -qxF "$PRIVATE_MARK"
}

start_private_cupsd() {
    local dir=$1
    if private_cupsd_pid "$dir" >/dev/null; then
        return 0
    fi
    mkdir -p "$dir"/{etc,etc/ppd,spool,spool/tmp,cache,state,log,ssl}
    chmod 0755 "$dir"
    chmod 0710 "$dir/spool"
    chgrp lp "$dir/spool"
    chmod 1770 "$dir/spool/tmp"
    chgrp lp "$dir/spool/tmp"
    cat >"$dir/cups-files.conf" <<EOF
$PRIVATE_MARK
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerKeychain $dir/ssl
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
User lp
Group lp
SystemGroup root lpadmin
FileDevice No
EOF
    cat >"$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
Browsing No
WebInterface No
LogLevel warn
MaxJobs 100
<Location />
  Order allow,deny
  Allow all
</Location>
EOF
    # In a session of its own and without the caller's output, so that it holds no pipe open.
    setsid /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" \
        </dev/null >"$dir/cupsd.out" 2>&1 &
    echo $! >"$dir/cupsd.pid"
    for _ in $(seq 100); do
        if CUPS_SERVER=$dir/cups.sock scheduler_running; then
            return 0
        fi
        private_cupsd_pid "$dir" >/dev/null || break
        sleep 0.1
    done
    cat "$dir/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
    die "the private cupsd in $dir did not come up"
}

stop_private_cupsd() {
    local dir=$1 pid state
    if pid=$(private_cupsd_pid "$dir"); then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 100); do
            # Gone, or a zombie that its parent has not collected yet.
            state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$pid/status" 2>/dev/null || true)
            if [ -z "$state" ] || [ "$state" = Z ]; then
                break
            fi
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/cupsd.pid"
}

# The post-processing program that cups-pdf runs as the job's user after Ghostscript has finished:
# <program> <pdf> <user as cups-pdf resolved it> <user as given to CUPS>.
write_postprocess() {
    local program=$1 incoming=$2 domain=$3 log=$4
    cat >"$program.new" <<EOF
#!/bin/sh
# Written by Tarvik's printer-queue.sh: turns a finished job of the queue $QUEUE into a control file.
INCOMING=$(printf '%q' "$incoming")
DOMAIN=$(printf '%q' "$domain")
LOG=$(printf '%q' "$log")
EOF
    cat >>"$program.new" <<'EOF'
pdf=$1
log() {
    printf '%s %s\n' "$(date '+%Y-%m-%d %H:%M:%S')" "$*" >>"$LOG" 2>/dev/null || true
}
# cups-pdf calls this step even when Ghostscript wrote nothing: no document, no control file.
if [ ! -f "$pdf" ]; then
    log "no control file for job $pdf: the PDF was not written"
    exit 0
fi
if [ ! -s "$pdf" ]; then
    log "no control file for job $pdf: the PDF is empty"
    exit 0
fi
case "$pdf" in
*"
"* | *"$(printf '\r')"*)
    log "no control file for job $pdf: its path holds a line break"
    exit 0
    ;;
esac
# The user who printed, as given to CUPS, else as cups-pdf resolved it; only names that make an address.
user=
for candidate in "$3" "$2"; do
    if [ -n "$candidate" ] && printf '%s' "$candidate" | grep -Eq '^[A-Za-z0-9._-]+$'; then
        user=$candidate
        break
    fi
done
name=$(basename "$pdf")
name=${name%.pdf}
# Written under a name that does not end in .txt and renamed once complete; an existing control
# file of the same name is never replaced.
tmp=$(mktemp "$INCOMING/.$name.XXXXXX") || { log "no control file for job $pdf: cannot write to $INCOMING"; exit 0; }
{
    printf 'File: %s\r\n' "$pdf"
    if [ -n "$user" ]; then
        printf 'RespondEmail: %s@%s\r\n' "$user" "$DOMAIN"
    fi
} >"$tmp" && chmod 0644 "$tmp" || { log "no control file for job $pdf: writing $tmp failed"; rm -f "$tmp"; exit 0; }
target=$INCOMING/$name.txt
n=1
while ! ln "$tmp" "$target" 2>/dev/null; do
    n=$((n + 1))
    if [ $n -gt 100 ]; then
        log "no control file for job $pdf: no free name for it in $INCOMING"
        rm -f "$tmp"
        exit 0
    fi
    target=$INCOMING/$name-$n.txt
done
rm -f "$tmp"
log "control file $target for $pdf"
exit 0
EOF
    chmod 0755 "$program.new"
    mv -f "$program.new" "$program"
}

# Every folder above DIR must let the job's user and cupsd's user lp pass.
check_traversable() {
    local dir=$1
    while [ "$dir" != / ] && [ "$dir" != . ]; do
        dir=$(dirname "$dir")
        if [ "$(($(stat -c '%#a' "$dir") & 1))" -eq 0 ]; then
            die "$dir cannot be passed through by other users (the queue's user lp); chmod o+x it"
        fi
    done
}

# Folders the jobs write into: made open to every printing user when missing; existing ones are
# left as they are, with a warning when only their owner can write.
prepare_job_folder() {
    local dir=$1
    if [ ! -d "$dir" ]; then
        mkdir -p "$dir"
        chmod 1777 "$dir"
    elif [ "$(($(stat -c '%#a' "$dir") & 2))" -eq 0 ]; then
        echo "printer-queue: warning: $dir is not writable by all users; jobs of other users will fail" >&2
    fi
    check_traversable "$(cd "$dir" && pwd)/x"
}

cmd_setup() {
    local incoming="" documents="" domain="" private=""
    while (($#)); do
        case "$1" in
        --incoming) incoming=${2:?--incoming needs a folder}; shift 2 ;;
        --documents) documents=${2:?--documents needs a folder}; shift 2 ;;
        --respond-domain) domain=${2:?--respond-domain needs a domain}; shift 2 ;;
        --private) private=${2:?--private needs a folder}; shift 2 ;;
        *) usage ;;
        esac
    done
    [ -n "$incoming" ] && [ -n "$documents" ] || usage
    [ "$(id -u)" -eq 0 ] || die "setup needs root (it writes $CUPS_PDF_CONF)"
    [ -x /usr/sbin/cupsd ] && [ -f "$BACKEND" ] ||
        die "cups and printer-driver-cups-pdf are not installed (apt-get install cups printer-driver-cups-pdf)"
    # Run as any other user or mode, the backend refuses and the job still reports success.
    [ "$(stat -c '%a %U' "$BACKEND")" = "700 root" ] ||
        die "$BACKEND must be mode 0700 and owned by root (chmod 0700 $BACKEND; chown root $BACKEND)"
    if [ -z "$domain" ]; then
        domain=$(hostname --fqdn 2>/dev/null || hostname)
        [[ $domain == *.* ]] || domain=localhost.localdomain
    fi
    [[ $domain =~ ^[A-Za-z0-9.-]+$ && $domain == *.* ]] ||
        die "--respond-domain $domain is not a domain with a dot (the service needs an address with '@' and '.')"
    prepare_job_folder "$incoming"
    prepare_job_folder "$documents"
    incoming=$(cd "$incoming" && pwd)
    documents=$(cd "$documents" && pwd)

    local state
    if [ -n "$private" ]; then
        mkdir -p "$private"
        state=$(cd "$private" && pwd)
        # Only an empty folder, or one that an earlier setup made, becomes the private CUPS.
        if [ -n "$(ls -A "$state")" ] && ! is_private_cups "$state"; then
            die "$state is neither empty nor a private CUPS folder of this script"
        fi
        check_traversable "$state"
    else
        state=$MACHINE_STATE
        scheduler_running ||
            die "the machine's CUPS scheduler is not running (start it, or use --private DIR)"
    fi
    if [ -f "$CUPS_PDF_CONF" ] && ! grep -qxF "# state $state" "$CUPS_PDF_CONF"; then
        die "$CUPS_PDF_CONF belongs to another Veltrane queue; tear that one down first"
    fi

    # From here on a failed setup takes back what it made, the private cupsd included.
    local undo=teardown
    [ -z "$private" ] || undo="teardown --private $(printf '%q' "$state")"
    # shellcheck disable=SC2064 # the folder is fixed now
    trap "echo 'printer-queue: setup failed; tearing the queue down again' >&2
          cmd_$undo >/dev/null 2>&1 || true" EXIT
    if [ -n "$private" ]; then
        start_private_cupsd "$state"
        export CUPS_SERVER=$state/cups.sock
    else
        mkdir -p "$state"
        chmod 0755 "$state"
    fi
    mkdir -p "$state/cups-pdf" "$state/gstmp"
    chmod 0755 "$state/cups-pdf"
    chmod 1777 "$state/gstmp"
    : >>"$state/postprocess.log"
    chmod 0666 "$state/postprocess.log"
    write_postprocess "$state/postprocess" "$incoming" "$domain" "$state/postprocess.log"
    cat >"$CUPS_PDF_CONF.new" <<EOF
# Settings of the cups-pdf queue $QUEUE, written by Tarvik's printer-queue.sh.
# state $state
Out $documents
AnonDirName $documents
Spool $state/cups-pdf
GSTmp $state/gstmp
Log $state/cups-pdf
Label 1
TitlePref 1
UserUMask 0022
AnonUMask 0022
Grp lp
PostProcessing $state/postprocess
EOF
    mv -f "$CUPS_PDF_CONF.new" "$CUPS_PDF_CONF"

    lpadmin -p "$QUEUE" -E -v "cups-pdf:/$QUEUE" -m "$PPD" 2> >(grep -v -i 'deprecated' >&2) ||
        die "lpadmin could not add the queue $QUEUE"
    lpstat -p "$QUEUE" >/dev/null || die "the queue $QUEUE was not created"
    trap - EXIT
    echo "printer-queue: queue $QUEUE ready: documents in $documents, control files in $incoming," \
        "replies to <user>@$domain${private:+, CUPS_SERVER=$state/cups.sock}"
}

cmd_teardown() {
    local private=""
    while (($#)); do
        case "$1" in
        --private) private=${2:?--private needs a folder}; shift 2 ;;
        *) usage ;;
        esac
    done
    local state
    if [ -n "$private" ]; then
        [ -d "$private" ] || { echo "printer-queue: $private does not exist; nothing to tear down"; return 0; }
        state=$(cd "$private" && pwd)
        is_private_cups "$state" || die "$state is not a private CUPS folder of this script"
        if private_cupsd_pid "$state" >/dev/null; then
            CUPS_SERVER=$state/cups.sock lpadmin -x "$QUEUE" 2>/dev/null || true
        fi
        stop_private_cupsd "$state"
    else
        state=$MACHINE_STATE
        if scheduler_running && lpstat -p "$QUEUE" >/dev/null 2>&1; then
            lpadmin -x "$QUEUE"
        fi
    fi
    if [ -f "$CUPS_PDF_CONF" ] && grep -qxF "# state $state" "$CUPS_PDF_CONF"; then
        rm -f "$CUPS_PDF_CONF"
    fi
    rm -rf "$state/cups-pdf" "$state/gstmp" "$state/postprocess" "$state/postprocess.log"
    if [ -n "$private" ]; then
        rm -rf "${state:?}"/{etc,spool,cache,state,log,ssl} "$state"/cups-files.conf "$state"/cupsd.conf \
            "$state"/cupsd.out "$state"/cups.sock "$state"/printcap
    fi
    rmdir "$state" 2>/dev/null || true
    echo "printer-queue: queue $QUEUE removed"
}

case "${1:-}" in
setup) shift; cmd_setup "$@" ;;
teardown) shift; cmd_teardown "$@" ;;
*) usage ;;
esac
