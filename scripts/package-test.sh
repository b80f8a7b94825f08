#!/usr/bin/env bash
# Tests the Debian package on this machine, as root: builds it, installs it with apt-get, runs the
# installed /opt/tarvik/tarvik headless on a demo set-up in a temporary folder (release of a control
# file, a failure report to a loopback SMTP sink), feeds it through a private printer queue, then
# removes the package with `/opt/tarvik/tarvik -x` and purges it with apt-get. Leaves the machine as
# it found it. Prints one PASS or FAIL line per check and exits non-zero on any failure.
#
#   TARVIK_PKG_BUILD_DIR   build tree to make the package in (default build, as ./test.sh)
#   TARVIK_PKG_REMOVE      how the package is removed: x (`tarvik -x`), apt (`apt-get remove`), or
#                          auto (default: x when the package carries the installer program
#                          /usr/sbin/msiexec that `tarvik -x` runs, else apt)
#   TARVIK_PKG_TIMEOUT     bound of the whole run in seconds (default 3600; the build of the tree,
#                          which ./test.sh then reuses, is most of it)
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${TARVIK_PKG_TEST_BOUNDED:-}" ]; then
    export TARVIK_PKG_TEST_BOUNDED=1
    exec timeout --signal=TERM --kill-after=60 "${TARVIK_PKG_TIMEOUT:-3600}" bash "$0" "$@"
fi

build="${TARVIK_PKG_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
remove_mode="${TARVIK_PKG_REMOVE:-auto}"

passed=0
failed=0
pass() {
    echo "PASS: $*"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
# wait_for SECONDS COMMAND...: true once the command succeeds, false when the time has passed.
wait_for() {
    local tenths=$(($1 * 10))
    shift
    while ((tenths-- > 0)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}
# ended PID: the process is gone (a child of this shell that ended stays a zombie until waited for).
ended() {
    ! kill -0 "$1" 2>/dev/null || [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" = Z ]
}
summary() {
    echo "package-test: $passed passed, $failed failed"
}

if [ "$(id -u)" -ne 0 ]; then
    echo "package-test: needs root (it installs and removes the package)" >&2
    exit 1
fi
if dpkg-query -W -f='${Status}' tarvik 2>/dev/null | grep -q installed || [ -e /opt/tarvik ]; then
    echo "package-test: tarvik is already installed here (or /opt/tarvik exists); the test would remove it" >&2
    exit 1
fi

work="$(mktemp -d /tmp/tarvik-pkg-test.XXXXXX)"
chmod 0755 "$work"
run_existed=0
[ -e /run/tarvik ] && run_existed=1
group_existed=0
getent group tarvik >/dev/null && group_existed=1
etc_saved=""
if [ -e /etc/tarvik ]; then
    etc_saved="$work/etc-tarvik"
    cp -a /etc/tarvik "$etc_saved"
fi
service_pid=""
sink_pid=""
queue_up=0

cleanup() {
    trap - EXIT INT TERM
    if ((queue_up)); then
        bash "$root/scripts/printer-queue.sh" teardown --private "$work/cups" >/dev/null 2>&1 || true
    fi
    for pid in $service_pid $sink_pid; do
        if kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait_for 15 ended "$pid" || kill -KILL "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    if dpkg-query -W -f='${Status}' tarvik 2>/dev/null | grep -qv not-installed; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tarvik >/dev/null 2>&1 ||
            dpkg --purge tarvik >/dev/null 2>&1 || true
    fi
    if ((!group_existed)) && getent group tarvik >/dev/null; then
        groupdel tarvik || true
    fi
    if ((!run_existed)); then
        rm -rf /run/tarvik
    fi
    if [ -n "$etc_saved" ]; then
        rm -rf /etc/tarvik
        cp -a "$etc_saved" /etc/tarvik
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: interrupted or out of time"; exit 1' INT TERM

# --- the package ---------------------------------------------------------------------------------
bash "$root/scripts/install-deps.sh"
echo "package-test: building the package in $build"
if ! { cmake -S "$root" -B "$build" -G Ninja >"$work/build.log" 2>&1 &&
    cmake --build "$build" -j "$(nproc)" >>"$work/build.log" 2>&1 &&
    (cd "$build" && rm -f tarvik_*.deb && cpack -G DEB) >>"$work/build.log" 2>&1; }; then
    tail -40 "$work/build.log"
    fail "the package builds"
    summary
    exit 1
fi
deb="$(ls "$build"/tarvik_*_amd64.deb 2>/dev/null | head -1)"
check "the package is named tarvik_<version>_amd64.deb" test -f "$deb"
depends="$(dpkg-deb -f "$deb" Depends)"
check "its dependencies come from the libraries it links (Depends: $depends)" \
    grep -q 'libc6' <<<"$depends"
dpkg-deb -c "$deb" >"$work/contents"
carries_its_files() {
    local f
    for f in ./opt/tarvik/tarvik ./opt/tarvik/libQuickPDFDLL0723.so ./lib/systemd/system/tarvik.service \
        ./usr/lib/tmpfiles.d/tarvik.conf ./usr/share/applications/tarvik.desktop \
        ./etc/xdg/autostart/tarvik.desktop; do
        awk '{ print $6 }' "$work/contents" | grep -qxF "$f" || { echo "missing $f"; return 1; }
    done
}
check "it carries the program, the unit, tmpfiles.d and the desktop entries" carries_its_files
check "it installs no settings or log file" bash -c "! grep -Eq 'tarvik\.(ini|log)\$' '$work/contents'"
if [ "$remove_mode" = auto ]; then
    remove_mode=apt
    grep -q ' ./usr/sbin/msiexec$' "$work/contents" && remove_mode=x
fi

# --- installation --------------------------------------------------------------------------------
if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    fail "apt-get installs the package"
    summary
    exit 1
fi
pass "apt-get installs the package"
if command -v systemd-analyze >/dev/null; then
    check "systemd-analyze verify accepts tarvik.service" \
        systemd-analyze verify /lib/systemd/system/tarvik.service
fi
if command -v desktop-file-validate >/dev/null; then
    check "the desktop entries are valid" \
        desktop-file-validate /usr/share/applications/tarvik.desktop /etc/xdg/autostart/tarvik.desktop
fi
check "the autostart entry is installed turned off" grep -qx 'Hidden=true' /etc/xdg/autostart/tarvik.desktop
check "/opt/tarvik belongs to the group tarvik, setgid and group-writable" \
    test "$(stat -c '%a %G' /opt/tarvik)" = "2775 tarvik"
default_ini() {
    local ini=/opt/tarvik/tarvik.ini
    [ "$(head -c2 "$ini" | od -An -tx1 | tr -d ' ')" = fffe ] &&
        iconv -f UTF-16LE -t UTF-8 "$ini" | tr -d '\r' | grep -qx 'AttemptTimeout=5' &&
        iconv -f UTF-16LE -t UTF-8 "$ini" | tr -d '\r' | grep -qx 'EmPort=25' &&
        [ "$(stat -c '%a %G' "$ini")" = "664 tarvik" ]
}
check "tarvik.ini is made with the defaults, UTF-16LE with a byte-order mark, group-writable" default_ini
check "the named-objects folder /run/tarvik is sticky and open to all" \
    test "$(stat -c '%a' /run/tarvik)" = 1777
entry="$(find /etc/tarvik/registry/HKEY_LOCAL_MACHINE -ipath '*/Microsoft/Windows/CurrentVersion/Uninstall/{*}' \
    -maxdepth 6 -type d 2>/dev/null | head -1)"
uninstall_entry() {
    [ -n "$entry" ] && [ "$(cat "$entry/DisplayName")" = Tarvik ] &&
        [ "$(cat "$entry/UninstallString")" = "MsiExec.exe /I$(basename "$entry")" ] &&
        [ -n "$(cat "$entry/RemovalCommand")" ]
}
check "the uninstall entry names Tarvik and its removal" uninstall_entry

# --- the installed service on a demo set-up ------------------------------------------------------
mkdir -p "$work"/{in,out,err,pdf,mail}
chmod 1777 "$work/in"
/usr/bin/python3 "$root/tests/support/smtp_sink.py" --host 127.0.0.1 --port 0 --maildir "$work/mail" \
    --port-file "$work/smtp.port" </dev/null >"$work/smtp.out" 2>&1 &
sink_pid=$!
wait_for 10 test -s "$work/smtp.port" || fail "the SMTP sink starts"
{
    printf '\xff\xfe'
    printf '%s\r\n' "[General]" "AttemptTimeout=1" "TxtInDir=$work/in/" "TxtOutDir=$work/out/" \
        "PdfDefDir=$work/pdf/" "Attempts=8" "MoveErr=1" "TxtErrDir=$work/err/" "[E-mail]" \
        "DefEmail=operator@example.com" "EmSmtpServer=127.0.0.1" "EmSenderEmail=tarvik@example.com" \
        "EmSenderName=Tarvik" "EmSubject=Tarvik package test" "EmPort=$(cat "$work/smtp.port" 2>/dev/null)" |
        iconv -f UTF-8 -t UTF-16LE
} >/opt/tarvik/tarvik.ini
cp -p /opt/tarvik/tarvik.ini "$work/ini.before"
# An upgrade: the same package under a higher version.
dpkg-deb -R "$deb" "$work/upgrade"
sed -i 's/^Version: .*/&.1/' "$work/upgrade/DEBIAN/control"
dpkg-deb -b "$work/upgrade" "$work/tarvik_upgrade_amd64.deb" >/dev/null
upgraded() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$work/tarvik_upgrade_amd64.deb" >"$work/apt.log" 2>&1 &&
        dpkg-query -W -f='${Version}' tarvik | grep -q '\.1$'
}
check "the package upgrades" upgraded
check "an upgrade keeps tarvik.ini as it was" cmp -s /opt/tarvik/tarvik.ini "$work/ini.before"

TARVIK_HEADLESS=1 setsid /opt/tarvik/tarvik -autostart </dev/null >"$work/service.out" 2>&1 &
service_pid=$!
service_started() { grep -aqs "Documents monitoring service started" /opt/tarvik/tarvik.log; }
check "the installed service starts" wait_for 10 service_started
gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o "$work/pdf/sample.pdf" \
    -c "/Helvetica findfont 24 scalefont setfont 72 720 moveto (Tarvik) show showpage" >/dev/null
printf 'File: sample.pdf\r\nRespondEmail: clerk@example.com\r\n' >"$work/in/sample.txt"
printf 'File: never.pdf\r\nRespondEmail: clerk@example.com\r\n' >"$work/in/never.txt"
check "the service releases a control file whose document is there" wait_for 30 test -f "$work/out/sample.txt"
gives_up() {
    wait_for 40 test -f "$work/err/never.txt" && wait_for 10 test -f "$work/mail/1.json" &&
        grep -q clerk@example.com "$work/mail/1.json"
}
check "it gives up on a document that never comes and mails the report" gives_up

# --- a private printer queue feeding the running service ----------------------------------------
released_print() { ls "$work"/out/job_*-tarvik-ci.txt >/dev/null 2>&1; }
printed_page_released() {
    local f pdf
    wait_for 40 released_print || return 1
    f=$(ls "$work"/out/job_*-tarvik-ci.txt | head -1)
    grep -q 'RespondEmail: root@example.com' "$f" || return 1
    pdf=$(sed -n 's/^File: \(.*\)\r$/\1/p' "$f")
    pdfinfo "$pdf" >/dev/null
}
printf '%%!PS\n/Helvetica findfont 24 scalefont setfont 72 720 moveto (Veltrane page) show showpage\n' \
    >"$work/page.ps"
queue_up=1
if bash "$root/scripts/printer-queue.sh" setup --incoming "$work/in" --documents "$work/docs" \
    --private "$work/cups" --respond-domain example.com; then
    pass "a private printer queue is set up"
    CUPS_SERVER="$work/cups/cups.sock" lp -d Veltrane -t tarvik-ci "$work/page.ps" >/dev/null
    check "a printed page ends as a released control file naming a complete PDF" printed_page_released
    # A job whose user may not write the documents folder: Ghostscript writes nothing, CUPS still
    # calls the job done, and the post-processing step runs all the same.
    chmod 0755 "$work/docs"
    chmod 0644 "$work/page.ps"
    CUPS_SERVER="$work/cups/cups.sock" runuser -u nobody -- lp -d Veltrane -t lost "$work/page.ps" >/dev/null
    lost_job_logged() { grep -q -- '-lost.pdf: the PDF was not written' "$work/cups/postprocess.log"; }
    no_lost_control_file() { ! ls "$work"/in/*lost* "$work"/out/*lost* >/dev/null 2>&1; }
    lost_job_handled() { wait_for 30 lost_job_logged && no_lost_control_file; }
    check "a job without its PDF leaves no control file and says why" lost_job_handled
    cupsd_pid=$(cat "$work/cups/cupsd.pid")
    bash "$root/scripts/printer-queue.sh" teardown --private "$work/cups" >/dev/null && queue_up=0
    check "the queue is torn down, its cupsd stopped and its cups-pdf settings gone" bash -c "
        test ! -e /etc/cups/cups-pdf-Veltrane.conf && test ! -e '$work/cups' && $(declare -f ended) && ended $cupsd_pid"
else
    fail "a private printer queue is set up"
fi

# --- removal -------------------------------------------------------------------------------------
pkg_files() { dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | grep '^/opt/tarvik/.'; }
no_package_files_left() {
    local f
    for f in $(pkg_files); do
        [ -e "$f" ] && { echo "left behind: $f"; return 1; }
    done
    return 0
}
not_installed() { ! dpkg-query -W -f='${Status}' tarvik 2>/dev/null | grep -q 'install ok installed'; }
if [ "$remove_mode" = x ]; then
    echo "package-test: removing with /opt/tarvik/tarvik -x"
    status=0
    TARVIK_HEADLESS=1 timeout 120 /opt/tarvik/tarvik -x </dev/null >"$work/uninstall.out" 2>&1 || status=$?
    check "tarvik -x ends with exit code 0" test "$status" -eq 0
else
    echo "package-test: removing with apt-get remove (the package has no installer program for tarvik -x)"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarvik >"$work/apt.log" 2>&1
    check "apt-get remove ends with exit code 0" test $? -eq 0
fi
check "the running service has ended" wait_for 30 ended "$service_pid"
check "dpkg no longer lists the package as installed" not_installed
check "/opt/tarvik holds nothing of the package" no_package_files_left
check "the uninstall entry is gone" test ! -e "$entry"
check "the settings stay after a removal" test -f /opt/tarvik/tarvik.ini

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tarvik >"$work/apt.log" 2>&1
check "apt-get purge ends with exit code 0" test $? -eq 0
check "a purge leaves no trace: dpkg, /opt/tarvik, /etc/tarvik, the autostart entry" bash -c "
    ! dpkg-query -W -f='\${Status}' tarvik 2>/dev/null | grep -q 'ok' &&
    test ! -e /opt/tarvik && test ! -e /etc/tarvik && test ! -e /etc/xdg/autostart/tarvik.desktop"
if ((!group_existed)); then
    check "a purge removes the group tarvik it made" bash -c "! getent group tarvik >/dev/null"
fi

summary
((failed == 0))
