#!/usr/bin/env bash
# The printer queue "Veltrane" that feeds Tarvik: a CUPS queue with the cups-pdf backend, whose
# post-processing step hands each finished PDF to tarvikdrop, which writes the control file.
#
#   printer-queue.sh setup --incoming DIR --documents DIR [--respond-domain DOMAIN] [--private DIR]
#                          [--tarvikdrop PROGRAM] [--create-account]
#   printer-queue.sh teardown [--private DIR]
#
# Without --private the queue is added to the machine's CUPS, which must be running; its state (the
# post-processing step and its log) lies in /var/lib/tarvik-printer. With --private DIR a cupsd of
# its own runs in DIR, on the socket DIR/cups.sock, and leaves the machine's CUPS alone: point the
# client commands at it with CUPS_SERVER=DIR/cups.sock. Each job ends as DOCUMENTS/job_<N>-<title>.pdf
# (the printing user's, group tarvik, mode 0640) and a control file job_<N>-<title>.txt in INCOMING
# with "File: <the PDF>" and "RespondEmail: <account>@<DOMAIN>", where the account is the one that
# cups-pdf ran the job as, never the name the client gave. Print with a title: lp -d Veltrane -t
# <title> <file>.
#
# Only the service account and the group tarvik may write INCOMING (2770): printing users get in
# through tarvikdrop (default /opt/tarvik/tarvikdrop, setgid tarvik), whose settings setup writes to
# /etc/opt/tarvik/printdrop.conf. The group tarvik must exist; --create-account creates the group
# and the service account when they are missing. cups-pdf reads the queue's settings from
# /etc/cups/cups-pdf-Veltrane.conf, so one Veltrane queue can exist on the machine at a time;
# teardown removes both files again.
set -euo pipefail

readonly QUEUE=Veltrane
readonly CUPS_PDF_CONF=/etc/cups/cups-pdf-$QUEUE.conf
readonly BACKEND=/usr/lib/cups/backend/cups-pdf
readonly PPD=lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd
readonly MACHINE_STATE=/var/lib/tarvik-printer
readonly PRIVATE_MARK="# private CUPS of Tarvik's printer-queue.sh"
readonly DROP_CONF_DIR=/etc/opt/tarvik
readonly DROP_CONF=$DROP_CONF_DIR/printdrop.conf
readonly GROUP=tarvik
readonly ACCOUNT=tarvik
umask 022

die() {
    echo "printer-queue: $*" >&2
    exit 1
}

usage() {
    sed -n '5,8p' "$0" | sed 's/^# *//' >&2
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
# A job belongs to the account that submitted it: over the local socket the scheduler checks the
# name against the caller's credentials, so lp -U cannot print as another user (root included).
DefaultAuthType Basic
<Policy default>
  <Limit Create-Job Print-Job Print-URI Validate-Job Send-Document Send-URI>
    AuthType Default
    Require valid-user
    Order deny,allow
  </Limit>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
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

# The post-processing step that cups-pdf runs as the job's user after Ghostscript has finished:
# <program> <pdf> <user as cups-pdf resolved it> <user as given to CUPS>. The name the client gave
# is never used; tarvikdrop takes the caller's own account and logs what it did.
write_postprocess() {
    local program=$1 drop=$2
    cat >"$program.new" <<EOF
#!/bin/sh
# Written by Tarvik's printer-queue.sh: hands a finished job of the queue $QUEUE to tarvikdrop.
exec $(printf '%q' "$drop") "\$1" \${2:+"\$2"}
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

# Dies unless only root can replace what lies in the absolute, link-free folder DIR: DIR and every
# folder above it belong to root; DIR is writable by root alone, the folders above it by others only
# with the sticky bit (as /tmp), which keeps root's entries in place.
check_root_chain() {
    local dir=$1 strict=1 mode uid
    while :; do
        [ ! -L "$dir" ] && [ -d "$dir" ] || die "$dir is not a folder"
        read -r mode uid < <(stat -c '%a %u' "$dir")
        [ "$uid" -eq 0 ] || die "$dir does not belong to root; its owner could swap the folders below it"
        if (((8#$mode & 8#022) != 0)) && { [ $strict -eq 1 ] || (((8#$mode & 8#1000) == 0)); }; then
            die "$dir can be written by others than root; choose a folder whose parent only root can change"
        fi
        [ "$dir" = / ] && break
        dir=$(dirname "$dir")
        strict=0
    done
}

# Dies when a symbolic link on the way to PATH could have been planted by someone else than root:
# each link must be root's, in a folder that belongs to root and that others may write only with
# the sticky bit.
check_given_path() {
    local path=$1 sofar="" part mode uid parts
    [[ $path == /* ]] || path=$PWD/$path
    IFS=/ read -ra parts <<<"$path"
    for part in "${parts[@]}"; do
        [ -n "$part" ] || continue
        sofar=$sofar/$part
        [ -L "$sofar" ] || continue
        read -r mode uid < <(stat -c '%a %u' "$(dirname "$sofar")")
        if [ "$(stat -c %u "$sofar")" -ne 0 ] || [ "$uid" -ne 0 ] ||
            { (((8#$mode & 8#022) != 0)) && (((8#$mode & 8#1000) == 0)); }; then
            die "$sofar is a symbolic link that someone else than root could have made or changed"
        fi
    done
}

# Makes the folder DIR when it is missing and gives it OWNER:GROUP and MODE, without following a
# link and only where no one but root can swap it. Prints its absolute path.
own_folder() {
    local dir=$1 owner=$2 mode=$3 parent target
    check_given_path "$dir"
    # Runs in a command substitution, where a failing command does not end the script by itself.
    mkdir -p -- "$(dirname -- "$dir")" || die "cannot make the folders above $dir"
    parent=$(cd -P -- "$(dirname -- "$dir")" && pwd) || die "cannot reach the folder above $dir"
    check_root_chain "$parent"
    target=${parent%/}/$(basename -- "$dir")
    [ ! -L "$target" ] || die "$target is a symbolic link"
    if [ ! -e "$target" ]; then
        mkdir -m 0700 -- "$target" || die "cannot make $target"
    fi
    # The parent is root's alone, so the folder checked here is the one changed below.
    [ ! -L "$target" ] && [ -d "$target" ] || die "$target is not a folder"
    chown -h -- "$owner" "$target" && chmod -- "$mode" "$target" || die "cannot give $target its owner and mode"
    echo "$target"
}

# tarvikdrop must be root's, setgid GROUP, and changeable by root alone: a printing user runs it
# with the group's right to write the incoming folder.
check_tarvikdrop() {
    local drop=$1 info user group mode
    [[ $drop == /* ]] || die "--tarvikdrop needs an absolute path"
    [ -f "$drop" ] && [ ! -L "$drop" ] ||
        die "$drop is missing or not a regular file (install the tarvik package, or pass --tarvikdrop)"
    info=$(stat -c '%U %G %a' "$drop")
    read -r user group mode <<<"$info"
    if [ "$user" != root ] || [ "$group" != "$GROUP" ] || (((8#$mode & 8#2000) == 0)) ||
        (((8#$mode & 8#022) != 0)) || (((8#$mode & 8#001) == 0)); then
        die "$drop is $user:$group mode $mode; it must be setgid $GROUP, root's and writable by root alone" \
            "(chown root:$GROUP $drop; chmod 2755 $drop)"
    fi
    check_root_chain "$(dirname "$drop")"
}

# The group (and, when it is missing, the service account) that tarvikdrop and the service share.
ensure_account() {
    local create=$1
    if ! getent group "$GROUP" >/dev/null; then
        [ "$create" -eq 1 ] ||
            die "the group $GROUP does not exist (install the tarvik package, or pass --create-account)"
        groupadd --system "$GROUP"
    fi
    if [ "$create" -eq 1 ] && ! getent passwd "$ACCOUNT" >/dev/null; then
        useradd --system --gid "$GROUP" --no-create-home --home-dir /nonexistent \
            --shell /usr/sbin/nologin "$ACCOUNT"
    fi
}

# Writes tarvikdrop's settings, readable by all and changeable by root alone.
write_drop_conf() {
    local state=$1 incoming=$2 documents=$3 domain=$4 log=$5
    if [ ! -d "$DROP_CONF_DIR" ]; then
        mkdir -p "$DROP_CONF_DIR"
        echo "$DROP_CONF_DIR" >"$state/made-conf-folder"
    fi
    check_root_chain "$DROP_CONF_DIR"
    cat >"$DROP_CONF.new" <<EOF
# Settings of tarvikdrop for the queue $QUEUE, written by Tarvik's printer-queue.sh.
# state $state
Incoming = $incoming
Documents = $documents
Domain = $domain
Log = $log
EOF
    chmod 0644 "$DROP_CONF.new"
    mv -f "$DROP_CONF.new" "$DROP_CONF"
}

cmd_setup() {
    local incoming="" documents="" domain="" private="" drop=/opt/tarvik/tarvikdrop create=0
    while (($#)); do
        case "$1" in
        --incoming) incoming=${2:?--incoming needs a folder}; shift 2 ;;
        --documents) documents=${2:?--documents needs a folder}; shift 2 ;;
        --respond-domain) domain=${2:?--respond-domain needs a domain}; shift 2 ;;
        --private) private=${2:?--private needs a folder}; shift 2 ;;
        --tarvikdrop) drop=${2:?--tarvikdrop needs a program}; shift 2 ;;
        --create-account) create=1; shift ;;
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
    [[ $domain =~ ^[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+$ ]] ||
        die "--respond-domain $domain is not a domain with a dot (the service needs an address with '@' and '.')"

    local state
    if [ -n "$private" ]; then
        state=$(realpath -m -- "$private")
        # Only an empty folder, or one that an earlier setup made, becomes the private CUPS.
        if [ -d "$state" ] && [ -n "$(ls -A "$state")" ] && ! is_private_cups "$state"; then
            die "$state is neither empty nor a private CUPS folder of this script"
        fi
    else
        state=$MACHINE_STATE
        scheduler_running ||
            die "the machine's CUPS scheduler is not running (start it, or use --private DIR)"
    fi
    local conf
    for conf in "$CUPS_PDF_CONF" "$DROP_CONF"; do
        if [ -f "$conf" ] && ! grep -qxF "# state $state" "$conf"; then
            die "$conf belongs to another Veltrane queue; tear that one down first"
        fi
    done
    ensure_account "$create"
    check_tarvikdrop "$drop"

    # Control files: the service account's (root's while there is none) and the group's alone.
    # Documents: every printing user may add one; the sticky bit keeps each user's PDFs theirs, the
    # group bit gives each PDF the group tarvik, so that the service can read it and no one else.
    local owner=root
    ! getent passwd "$ACCOUNT" >/dev/null || owner=$ACCOUNT
    incoming=$(own_folder "$incoming" "$owner:$GROUP" 2770)
    documents=$(own_folder "$documents" "root:$GROUP" 3773)
    check_traversable "$incoming"
    check_traversable "$documents"

    # From here on a failed setup takes back what it made, the private cupsd included.
    local undo=teardown
    [ -z "$private" ] || undo="teardown --private $(printf '%q' "$state")"
    # shellcheck disable=SC2064 # the folder is fixed now
    trap "echo 'printer-queue: setup failed; tearing the queue down again' >&2
          cmd_$undo >/dev/null 2>&1 || true" EXIT
    state=$(own_folder "$state" root:root 0755)
    check_traversable "$state"
    if [ -n "$private" ]; then
        start_private_cupsd "$state"
        export CUPS_SERVER=$state/cups.sock
    fi
    mkdir -p "$state/cups-pdf" "$state/gstmp"
    chmod 0755 "$state/cups-pdf"
    chmod 1777 "$state/gstmp"
    # The log of the post-processing step: tarvikdrop writes it with the group's right; other users
    # neither read nor write it.
    : >>"$state/postprocess.log"
    chown "root:$GROUP" "$state/postprocess.log"
    chmod 0660 "$state/postprocess.log"
    write_postprocess "$state/postprocess" "$drop"
    write_drop_conf "$state" "$incoming" "$documents" "$domain" "$state/postprocess.log"
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
UserUMask 0027
AnonUMask 0027
Grp lp
PostProcessing $state/postprocess
EOF
    mv -f "$CUPS_PDF_CONF.new" "$CUPS_PDF_CONF"

    lpadmin -p "$QUEUE" -E -v "cups-pdf:/$QUEUE" -m "$PPD" 2> >(grep -v -i 'deprecated' >&2) ||
        die "lpadmin could not add the queue $QUEUE"
    lpstat -p "$QUEUE" >/dev/null || die "the queue $QUEUE was not created"
    trap - EXIT
    [ -n "$private" ] || echo "printer-queue: note: unless the machine's CUPS policy asks for" \
        "authentication to print, a client may print under another account's name (lp -U); see the README" >&2
    echo "printer-queue: queue $QUEUE ready: documents in $documents, control files in $incoming," \
        "replies to <account>@$domain${private:+, CUPS_SERVER=$state/cups.sock}"
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
    local conf
    for conf in "$CUPS_PDF_CONF" "$DROP_CONF"; do
        if [ -f "$conf" ] && grep -qxF "# state $state" "$conf"; then
            rm -f "$conf"
        fi
    done
    if [ -f "$state/made-conf-folder" ]; then
        rmdir "$DROP_CONF_DIR" 2>/dev/null || true
    fi
    rm -rf "$state/cups-pdf" "$state/gstmp" "$state/postprocess" "$state/postprocess.log" \
        "$state/made-conf-folder"
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
