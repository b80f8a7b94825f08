#!/usr/bin/env bash
# Tests the Debian packages on this machine, as root: builds tarvik and tarvik-desktop, checks them
# with lintian and their dependencies, installs the service alone with apt-get, runs the installed
# /opt/tarvik/tarvik as its unit does (the account tarvik) on a demo set-up in a temporary folder
# (release of a control file, a failure report to a loopback SMTP sink, a private printer queue),
# adds the desktop package, runs scripts/security-test.sh against the installation, upgrades from
# the layout of earlier versions, then removes everything with `/opt/tarvik/tarvik -x` and purges.
# Leaves the machine as it found it. Prints one PASS or FAIL line per check and exits non-zero on
# any failure. Run it under the exclusive machine lock: flock -x /tmp/tarvik-machine.lock bash ...
#
#   TARVIK_PKG_BUILD_DIR   build tree to make the packages in (default build, as ./test.sh)
#   TARVIK_PKG_REMOVE      how the packages are removed: x (`tarvik -x`), apt (`apt-get remove`), or
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
readonly DATA=/var/opt/tarvik
readonly OBJECTS=/run/tarvik
readonly DROPIN_DIR=/etc/systemd/system/tarvik.service.d
# Package names that belong to a desktop: Qt, X11 and the libraries around them.
readonly DESKTOP_PACKAGES='^(libqt|qt6-|qt5|libx11|libxcb|libxext|libxrender|libxkbcommon|libxau|libxdmcp|x11-|xserver|libgl1|libegl|libwayland|libdrm)'

# shellcheck source=check-lib.sh
source "$root/scripts/check-lib.sh"
summary() {
    echo "package-test: $passed passed, $failed failed"
}
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
apt_install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >"$work/apt.log" 2>&1; }
# mode_owner PATH: "<octal mode> <user>:<group>" of PATH itself.
mode_owner() { stat -c '%a %U:%G' -- "$1"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "package-test: needs root (it installs and removes the packages)" >&2
    exit 1
fi
if installed tarvik || installed tarvik-desktop || [ -e /opt/tarvik ] || [ -e "$DATA" ]; then
    echo "package-test: tarvik is already installed here (or /opt/tarvik or $DATA exists); the test would remove it" >&2
    exit 1
fi

work="$(mktemp -d /tmp/tarvik-pkg-test.XXXXXX)"
chmod 0755 "$work"
run_existed=0
[ -e "$OBJECTS" ] && run_existed=1
user_existed=0
getent passwd tarvik >/dev/null && user_existed=1
group_existed=0
getent group tarvik >/dev/null && group_existed=1
etc_opt_existed=0
[ -e /etc/opt/tarvik ] && etc_opt_existed=1
dropin_existed=0
[ -e "$DROPIN_DIR" ] && dropin_existed=1
etc_saved=""
if [ -e /etc/tarvik ]; then
    etc_saved="$work/etc-tarvik"
    cp -a /etc/tarvik "$etc_saved"
fi
service_pid=""
sink_pid=""
xvfb_pid=""
queue_up=0

cleanup() {
    trap - EXIT INT TERM
    if ((queue_up)); then
        bash "$root/scripts/printer-queue.sh" teardown --private "$work/cups" >/dev/null 2>&1 || true
    fi
    for pid in $service_pid $sink_pid $xvfb_pid; do
        stop_pid "$pid"
    done
    if dpkg-query -W -f='${Status}' tarvik tarvik-desktop 2>/dev/null | grep -qv not-installed; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tarvik-desktop tarvik >/dev/null 2>&1 ||
            dpkg --purge tarvik-desktop tarvik >/dev/null 2>&1 || true
    fi
    if dpkg-statoverride --list /opt/tarvik/tarvikdrop >/dev/null 2>&1; then
        dpkg-statoverride --remove /opt/tarvik/tarvikdrop >/dev/null 2>&1 || true
    fi
    if ((!user_existed)) && getent passwd tarvik >/dev/null; then
        userdel tarvik || true
    fi
    if ((!group_existed)) && getent group tarvik >/dev/null; then
        groupdel tarvik || true
    fi
    if ((!run_existed)); then
        rm -rf "$OBJECTS"
    fi
    rm -rf "$DATA" /var/lib/tarvik
    ((etc_opt_existed)) || rm -rf /etc/opt/tarvik
    ((dropin_existed)) || rm -rf "$DROPIN_DIR"
    if [ -n "$etc_saved" ]; then
        rm -rf /etc/tarvik
        cp -a "$etc_saved" /etc/tarvik
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: interrupted or out of time"; exit 1' INT TERM

# --- the packages --------------------------------------------------------------------------------
bash "$root/scripts/install-deps.sh"
# lintian checks the packages; only this test needs it.
if ! installed lintian; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends lintian >"$work/apt.log" 2>&1 ||
        cat "$work/apt.log"
fi
echo "package-test: building the packages in $build"
if ! { cmake -S "$root" -B "$build" -G Ninja >"$work/build.log" 2>&1 &&
    cmake --build "$build" -j "$(nproc)" >>"$work/build.log" 2>&1 &&
    (cd "$build" && rm -f tarvik_*.deb tarvik-desktop_*.deb && cpack -G DEB) >>"$work/build.log" 2>&1; }; then
    tail -40 "$work/build.log"
    fail "the packages build"
    summary
    exit 1
fi
deb="$(ls "$build"/tarvik_*_amd64.deb 2>/dev/null | head -1)"
desktop_deb="$(ls "$build"/tarvik-desktop_*_amd64.deb 2>/dev/null | head -1)"
check "the packages are named tarvik_<version>_amd64.deb and tarvik-desktop_<version>_amd64.deb" \
    test -f "$deb" -a -f "$desktop_deb"
version="$(dpkg-deb -f "$deb" Version)"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "package-test: tarvik $version Depends: $depends"
check "tarvik's dependencies come from the libraries it links" grep -q 'libc6' <<<"$depends"
check "tarvik depends on adduser, which makes its account" grep -Eq '(^|, )adduser(,|$)' <<<"$depends"
no_desktop_depends() {
    local names
    names="$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -E "$DESKTOP_PACKAGES")"
    [ -z "$names" ] || { echo "desktop packages among tarvik's Depends: $names"; return 1; }
}
check "tarvik names no Qt or X11 package among its dependencies" no_desktop_depends
# What apt would install for tarvik on a machine that has nothing installed at all: the whole
# closure of its dependencies.
closure_without_desktop() {
    : >"$work/empty-status"
    apt-get -s -o Dir::State::status="$work/empty-status" install "$deb" >"$work/closure.log" 2>&1 ||
        { tail -5 "$work/closure.log"; return 1; }
    awk '/^Inst /{ print $2 }' "$work/closure.log" >"$work/closure"
    echo "package-test: on an empty machine tarvik would bring $(wc -l <"$work/closure") packages"
    if grep -E "$DESKTOP_PACKAGES" "$work/closure" >"$work/closure-desktop"; then
        echo "desktop packages it would pull in: $(tr '\n' ' ' <"$work/closure-desktop")"
        return 1
    fi
}
check "apt-get install of tarvik alone would pull in no Qt or X11 package, even on an empty machine" \
    closure_without_desktop
check "tarvik-desktop depends on the very same version of tarvik" \
    grep -qF "tarvik (= $version)" <<<"$(dpkg-deb -f "$desktop_deb" Depends)"
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/contents"
dpkg-deb -c "$desktop_deb" | awk '{ print $6 }' >"$work/desktop-contents"
# carries LIST FILE...: every FILE is in the package's list.
carries() {
    local list=$1 f
    shift
    for f in "$@"; do
        grep -qxF ".$f" "$list" || { echo "missing $f"; return 1; }
    done
}
# lacks LIST PATTERN: no file of the package's list matches the extended regular expression.
lacks() {
    ! grep -E "$2" "$1" || { echo "(above: should not be in it)"; return 1; }
}
check "tarvik carries the program, the PDF library, the data folder's name, the installer program, the unit, tmpfiles.d, the man page, copyright and changelog" \
    carries "$work/contents" /opt/tarvik/tarvik /opt/tarvik/libQuickPDFDLL0723.so /opt/tarvik/tarvik.datadir \
    /usr/sbin/msiexec /lib/systemd/system/tarvik.service /usr/lib/tmpfiles.d/tarvik.conf \
    /usr/share/man/man8/tarvik.8.gz /usr/share/doc/tarvik/copyright /usr/share/doc/tarvik/changelog.gz
check "tarvik carries the printing side's helper /opt/tarvik/tarvikdrop" carries "$work/contents" /opt/tarvik/tarvikdrop
check "tarvik carries nothing of the desktop (tray module, viewer, menu or autostart entry)" \
    lacks "$work/contents" 'libtarvik-tray|logvista|\.desktop$'
check "tarvik-desktop carries the tray module, the viewer, the menu and autostart entries" \
    carries "$work/desktop-contents" /opt/tarvik/libtarvik-tray.so /opt/tarvik/logvista \
    /usr/share/applications/tarvik.desktop /etc/xdg/autostart/tarvik.desktop /usr/share/doc/tarvik-desktop/copyright
check "neither package installs a settings or log file" \
    lacks <(cat "$work/contents" "$work/desktop-contents") 'tarvik\.(ini|log)$'
if [ "$remove_mode" = auto ]; then
    remove_mode=apt
    grep -qx './usr/sbin/msiexec' "$work/contents" && remove_mode=x
fi
lintian_clean() {
    lintian --info "$deb" "$desktop_deb" >"$work/lintian.log" 2>&1
    grep -v '^N:\|running with root privileges' "$work/lintian.log" | sed 's/^/  lintian: /'
    ! grep -q '^E:' "$work/lintian.log"
}
check "lintian reports no error on either package" lintian_clean
dpkg-deb -x "$deb" "$work/unpacked"
exposure() { # exposure UNIT: the overall figure of systemd-analyze security
    systemd-analyze security --offline=true "$1" 2>&1 |
        sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p'
}
figure="$(exposure "$work/unpacked/lib/systemd/system/tarvik.service")"
echo "package-test: exposure of tarvik.service (systemd-analyze security --offline=true): ${figure:-none}"
check "the unit's exposure is 2.0 or below (OK): ${figure:-none}" \
    awk -v f="${figure:-99}" 'BEGIN { exit !(f <= 2.0) }'

# --- installation of the service alone ----------------------------------------------------------
dpkg-query -W -f='${Package}\n' >"$work/before-install"
if ! apt_install "$deb"; then
    cat "$work/apt.log"
    fail "apt-get installs tarvik alone"
    summary
    exit 1
fi
pass "apt-get installs tarvik alone"
dpkg-query -W -f='${Package}\n' >"$work/after-install"
check "installing tarvik added no Qt or X11 package to this machine" \
    bash -c "! comm -13 <(sort '$work/before-install') <(sort '$work/after-install') | grep -E '$DESKTOP_PACKAGES'"
check "the installed program loads no Qt or X11 library" \
    bash -c "! ldd /opt/tarvik/tarvik | grep -Ei 'libQt|libxcb|libX11|libGL|wayland'"
account() {
    local entry
    entry="$(getent passwd tarvik)" || { echo "no account tarvik"; return 1; }
    IFS=: read -r _ _ uid gid _ home shell <<<"$entry"
    [ "$uid" -lt 1000 ] && [ "$(getent group tarvik | cut -d: -f3)" = "$gid" ] && [ "$home" = /nonexistent ] &&
        [ ! -e /nonexistent ] && case "$shell" in */nologin | */false) true ;; *) false ;; esac ||
        { echo "account: $entry"; return 1; }
}
check "the system account tarvik exists: system uid, its own group, no home, no login shell" account
code_root_only() {
    local loose
    [ "$(mode_owner /opt/tarvik)" = "755 root:root" ] || { mode_owner /opt/tarvik; return 1; }
    loose="$(find /opt/tarvik /usr/sbin/msiexec \( ! -user root -o -perm /022 \) ! -type l)"
    [ -z "$loose" ] || { echo "not root's alone: $loose"; return 1; }
}
check "/opt/tarvik and everything in it is root's, writable by root alone" code_root_only
check "/opt/tarvik/tarvik.datadir names $DATA (0644 root)" \
    test "$(head -n1 /opt/tarvik/tarvik.datadir)/$(mode_owner /opt/tarvik/tarvik.datadir)" = "$DATA/644 root:root"
check "the data folder $DATA is the account's, setgid, open to its group only" \
    test "$(mode_owner "$DATA")" = "2770 tarvik:tarvik"
default_ini() {
    local ini=$DATA/tarvik.ini
    [ "$(head -c2 "$ini" | od -An -tx1 | tr -d ' ')" = fffe ] &&
        iconv -f UTF-16LE -t UTF-8 "$ini" | tr -d '\r' | grep -qx 'AttemptTimeout=5' &&
        iconv -f UTF-16LE -t UTF-8 "$ini" | tr -d '\r' | grep -qx 'EmPort=25' &&
        [ "$(mode_owner "$ini")" = "660 tarvik:tarvik" ]
}
check "tarvik.ini is made in the data folder with the defaults, UTF-16LE with a byte-order mark, 0660 tarvik:tarvik" \
    default_ini
check "the named-objects folder $OBJECTS is 0770 tarvik:tarvik" \
    test "$(mode_owner "$OBJECTS")" = "770 tarvik:tarvik" -a ! -L "$OBJECTS"
check "the printing side's helper is 2755 root:tarvik" test "$(mode_owner /opt/tarvik/tarvikdrop 2>&1)" = "2755 root:tarvik"
entry="$(find /etc/tarvik/registry/HKEY_LOCAL_MACHINE -ipath '*/Microsoft/Windows/CurrentVersion/Uninstall/{*}' \
    -maxdepth 6 -type d 2>/dev/null | head -1)"
uninstall_entry() {
    [ -n "$entry" ] && [ "$(cat "$entry/DisplayName")" = Tarvik ] &&
        [ "$(cat "$entry/UninstallString")" = "MsiExec.exe /I$(basename "$entry")" ] &&
        [ -n "$(cat "$entry/RemovalCommand")" ]
}
check "the uninstall entry names Tarvik and its removal" uninstall_entry
check "systemd-analyze verify accepts tarvik.service" systemd-analyze verify /lib/systemd/system/tarvik.service
check "man tarvik shows tarvik(8) without warnings" \
    bash -c "man -w tarvik | grep -q 'man8/tarvik.8' && test -z \"\$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings tarvik 2>&1 >/dev/null)\""

# Without the desktop package, a start with a reachable display runs headless and says so.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.err" &
xvfb_pid=$!
if wait_for 10 test -s "$work/display"; then
    mkdir -p "$work/objects-display"
    chown tarvik:tarvik "$work/objects-display"
    (cd "$DATA" && exec setsid setpriv --reuid=tarvik --regid=tarvik --init-groups --reset-env \
        env DISPLAY=":$(cat "$work/display")" TARVIK_OBJECTS_DIR="$work/objects-display" \
        /opt/tarvik/tarvik -autostart) </dev/null >"$work/display.out" 2>&1 &
    display_pid=$!
    said_headless() {
        wait_for 10 grep -qi 'tray module' "$work/display.out" &&
            [ "$(grep -ci 'tray module' "$work/display.out")" = 1 ] && ! ended "$display_pid"
    }
    check "without tarvik-desktop, a start with a display runs headless and says once that the tray module is missing" \
        said_headless
    stop_pid "$display_pid"
else
    fail "Xvfb starts"
fi
stop_pid "$xvfb_pid"
xvfb_pid=""

# --- the installed service on a demo set-up ------------------------------------------------------
# The spool folders are the account's; the drop-in names them for the unit.
spool="$work/spool"
mkdir -p "$spool"/{in,out,err,pdf} "$work/mail"
chown tarvik:tarvik "$spool"/{in,out,err}
chmod 2770 "$spool"/{in,out,err}
mkdir -p "$DROPIN_DIR"
printf '[Service]\nReadWritePaths=%s\n' "$spool" >"$DROPIN_DIR/spool.conf"
check "systemd-analyze verify accepts the unit with the spool folders' drop-in" \
    systemd-analyze verify /lib/systemd/system/tarvik.service

/usr/bin/python3 "$root/tests/support/smtp_sink.py" --host 127.0.0.1 --port 0 --maildir "$work/mail" \
    --port-file "$work/smtp.port" </dev/null >"$work/smtp.out" 2>&1 &
sink_pid=$!
wait_for 10 test -s "$work/smtp.port" || fail "the SMTP sink starts"
# The settings, written by the account as the tray program of a member would.
{
    printf '\xff\xfe'
    printf '%s\r\n' "[General]" "AttemptTimeout=1" "TxtInDir=$spool/in/" "TxtOutDir=$spool/out/" \
        "PdfDefDir=$spool/pdf/" "Attempts=8" "MoveErr=1" "TxtErrDir=$spool/err/" "[E-mail]" \
        "DefEmail=operator@example.com" "EmSmtpServer=127.0.0.1" "EmSenderEmail=tarvik@example.com" \
        "EmSenderName=Tarvik" "EmSubject=Tarvik package test" "EmPort=$(cat "$work/smtp.port" 2>/dev/null)" |
        iconv -f UTF-8 -t UTF-16LE
} | setpriv --reuid=tarvik --regid=tarvik --init-groups sh -c "cat >'$DATA/tarvik.ini'"
cp -p "$DATA/tarvik.ini" "$work/ini.before"

# An upgrade: the same packages under a higher version.
repack() { # repack DEB OUT: DEB with ".1" added to its version (and to its dependency on tarvik)
    rm -rf "$work/repack"
    dpkg-deb -R "$1" "$work/repack"
    sed -i "s/^Version: .*/&.1/; s/tarvik (= $version)/tarvik (= $version.1)/" "$work/repack/DEBIAN/control"
    dpkg-deb -b "$work/repack" "$2" >/dev/null
}
repack "$deb" "$work/tarvik_upgrade_amd64.deb"
repack "$desktop_deb" "$work/tarvik-desktop_upgrade_amd64.deb"
upgraded() { apt_install "$work/tarvik_upgrade_amd64.deb" && dpkg-query -W -f='${Version}' tarvik | grep -q '\.1$'; }
check "the package upgrades" upgraded
check "an upgrade keeps tarvik.ini as it was" cmp -s "$DATA/tarvik.ini" "$work/ini.before"
check "an upgrade keeps the layout: /opt/tarvik root's, the data folder 2770 tarvik:tarvik" \
    bash -c "$(declare -f mode_owner code_root_only); code_root_only && test \"\$(mode_owner $DATA)\" = '2770 tarvik:tarvik'"

# start_service: the installed program as the unit runs it: the account and its group, the unit's
# environment, umask and working folder, in a session of its own (systemd is not PID 1 here). The
# subshell becomes the program, so service_pid is the program's.
start_service() {
    log_mark="$(stat -c %s "$DATA/tarvik.log" 2>/dev/null || echo 0)"
    (cd "$DATA" && umask 0027 && exec setsid setpriv --reuid=tarvik --regid=tarvik --init-groups --reset-env \
        env TARVIK_HEADLESS=1 RUNTIME_DIRECTORY="$OBJECTS" /opt/tarvik/tarvik -autostart) \
        </dev/null >"$work/service.out" 2>&1 &
    service_pid=$!
}
# service_started: the service's start record, after the size the log had when it was started.
service_started() {
    local size
    size="$(stat -c %s "$DATA/tarvik.log" 2>/dev/null)" || return 1
    ((size < log_mark)) && log_mark=0
    tail -c +$((log_mark + 1)) "$DATA/tarvik.log" | grep -aq "Documents monitoring service started"
}
start_service
check "the installed service starts as its unit runs it (the account tarvik)" wait_for 10 service_started
runs_as_account() {
    local uid
    uid="$(id -u tarvik)"
    grep -Eq "^Uid:\s+$uid\s+$uid\s+$uid\s+$uid$" "/proc/$service_pid/status"
}
check "the service runs as tarvik" runs_as_account
check "its log lies in the data folder, 0640 tarvik:tarvik" test "$(mode_owner "$DATA/tarvik.log")" = "640 tarvik:tarvik"
check "nothing of the service's is written beside the program" \
    bash -c "! ls /opt/tarvik | grep -Eq '\\.(ini|log)\$|^coredump-|^dumps\$'"
gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o "$spool/pdf/sample.pdf" \
    -c "/Helvetica findfont 24 scalefont setfont 72 720 moveto (Tarvik) show showpage" >/dev/null
chmod 0644 "$spool/pdf/sample.pdf"
printf 'File: sample.pdf\r\nRespondEmail: clerk@example.com\r\n' >"$spool/in/sample.txt"
printf 'File: never.pdf\r\nRespondEmail: clerk@example.com\r\n' >"$spool/in/never.txt"
chown tarvik:tarvik "$spool"/in/*.txt
check "the service releases a control file whose document is there" wait_for 30 test -f "$spool/out/sample.txt"
gives_up() {
    wait_for 40 test -f "$spool/err/never.txt" && wait_for 10 test -f "$work/mail/1.json" &&
        grep -q clerk@example.com "$work/mail/1.json"
}
check "it gives up on a document that never comes and mails the report" gives_up

# --- a private printer queue feeding the running service ----------------------------------------
released_print() { ls "$spool"/out/job_*-tarvik-ci.txt >/dev/null 2>&1; }
printed_page_released() {
    local f pdf
    wait_for 40 released_print || return 1
    f=$(ls "$spool"/out/job_*-tarvik-ci.txt | head -1)
    grep -q 'RespondEmail: root@example.com' "$f" || return 1
    pdf=$(sed -n 's/^File: \(.*\)\r$/\1/p' "$f")
    pdfinfo "$pdf" >/dev/null
}
printf '%%!PS\n/Helvetica findfont 24 scalefont setfont 72 720 moveto (Veltrane page) show showpage\n' \
    >"$work/page.ps"
queue_up=1
if bash "$root/scripts/printer-queue.sh" setup --incoming "$spool/in" --documents "$work/docs" \
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
    no_lost_control_file() { ! ls "$spool"/in/*lost* "$spool"/out/*lost* >/dev/null 2>&1; }
    lost_job_handled() { wait_for 30 lost_job_logged && no_lost_control_file; }
    check "a job without its PDF leaves no control file and says why" lost_job_handled
    cupsd_pid=$(cat "$work/cups/cupsd.pid")
    bash "$root/scripts/printer-queue.sh" teardown --private "$work/cups" >/dev/null && queue_up=0
    check "the queue is torn down, its cupsd stopped and its cups-pdf settings gone" bash -c "
        test ! -e /etc/cups/cups-pdf-Veltrane.conf && test ! -e '$work/cups' && $(declare -f ended) && ended $cupsd_pid"
else
    fail "a private printer queue is set up"
fi

# --- the desktop package -------------------------------------------------------------------------
check "apt-get installs tarvik-desktop beside the service" apt_install "$work/tarvik-desktop_upgrade_amd64.deb"
check "the tray module and the viewer are root's, beside the program" bash -c "
    $(declare -f mode_owner) && test \"\$(mode_owner /opt/tarvik/logvista)\" = '755 root:root' &&
    test \"\$(mode_owner /opt/tarvik/libtarvik-tray.so)\" = '644 root:root'"
if command -v desktop-file-validate >/dev/null; then
    check "the desktop entries are valid" \
        desktop-file-validate /usr/share/applications/tarvik.desktop /etc/xdg/autostart/tarvik.desktop
fi
check "the autostart entry is installed turned off" grep -qx 'Hidden=true' /etc/xdg/autostart/tarvik.desktop

# --- attacks on the installation -----------------------------------------------------------------
stop_pid "$service_pid"
service_pid=""
bash "$root/scripts/security-test.sh" 2>&1 | tee "$work/security.log"
counts="$(sed -n 's/^security-test: \([0-9]*\) passed, \([0-9]*\) failed.*/\1 \2/p' "$work/security.log" | tail -1)"
if [ -n "$counts" ]; then
    passed=$((passed + ${counts% *}))
    failed=$((failed + ${counts#* }))
else
    fail "the security test ran to its end"
fi

# --- an upgrade from the layout of earlier versions ----------------------------------------------
# Before 0.2.0 the settings and the log lay in /opt/tarvik, 2775 root:tarvik, and /run/tarvik was
# open to all. The maintainer script moves them into the data folder.
mv "$DATA/tarvik.ini" /opt/tarvik/tarvik.ini
rm -f "$DATA/tarvik.log"
printf '4,4000,Information,01/01/2026,00:00:00.000,a record of the old layout\r\n' >/opt/tarvik/tarvik.log
cp -p /opt/tarvik/tarvik.ini "$work/old.ini"
cp -p /opt/tarvik/tarvik.log "$work/old.log"
chown root:tarvik /opt/tarvik /opt/tarvik/tarvik.ini /opt/tarvik/tarvik.log
chmod 2775 /opt/tarvik
chmod 0664 /opt/tarvik/tarvik.ini /opt/tarvik/tarvik.log
rm -rf "$OBJECTS"
mkdir -m 1777 "$OBJECTS"
: >"$OBJECTS/planted"
chmod 0666 "$OBJECTS/planted"
check "the maintainer script configures over the old layout" \
    bash -c "/var/lib/dpkg/info/tarvik.postinst configure 0.1.0 >'$work/migrate.log' 2>&1 || { cat '$work/migrate.log'; false; }"
moved() { # moved NAME MODE: the old file's content now in the data folder, MODE tarvik:tarvik
    cmp -s "$DATA/$1" "$work/old.${1#tarvik.}" && [ "$(mode_owner "$DATA/$1")" = "$2 tarvik:tarvik" ] &&
        [ ! -e "/opt/tarvik/$1" ]
}
check "an upgrade moves the old tarvik.ini into the data folder (0660 tarvik:tarvik)" moved tarvik.ini 660
check "an upgrade moves the old log into the data folder (0640 tarvik:tarvik)" moved tarvik.log 640
check "an upgrade makes /opt/tarvik root's alone again" code_root_only
check "an upgrade makes the named-objects folder anew, 0770 tarvik:tarvik and empty" bash -c "
    test \"\$(stat -c '%a %U:%G' $OBJECTS)\" = '770 tarvik:tarvik' && test -z \"\$(ls -A $OBJECTS)\""

# --- removal -------------------------------------------------------------------------------------
start_service
wait_for 10 service_started || true
pkg_files() { cat "$work/contents" "$work/desktop-contents" | sed 's/^\.//' | grep '^/opt/tarvik/.'; }
no_package_files_left() {
    local f
    for f in $(pkg_files); do
        [ -e "$f" ] && { echo "left behind: $f"; return 1; }
    done
    return 0
}
if [ "$remove_mode" = x ]; then
    echo "package-test: removing with /opt/tarvik/tarvik -x"
    status=0
    TARVIK_HEADLESS=1 timeout 120 /opt/tarvik/tarvik -x </dev/null >"$work/uninstall.out" 2>&1 || status=$?
    check "tarvik -x ends with exit code 0" test "$status" -eq 0
else
    echo "package-test: removing with apt-get remove (the package has no installer program for tarvik -x)"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarvik-desktop tarvik >"$work/apt.log" 2>&1
    check "apt-get remove ends with exit code 0" test $? -eq 0
fi
check "the running service has ended" wait_for 30 ended "$service_pid"
check "dpkg no longer lists tarvik or tarvik-desktop as installed" bash -c "
    $(declare -f installed) && ! installed tarvik && ! installed tarvik-desktop"
check "/opt/tarvik holds nothing of the packages" no_package_files_left
check "the uninstall entry is gone" test ! -e "$entry"
check "the settings and the account stay after a removal" \
    bash -c "test -f $DATA/tarvik.ini && getent passwd tarvik >/dev/null"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tarvik-desktop tarvik >"$work/apt.log" 2>&1
check "apt-get purge ends with exit code 0" test $? -eq 0
check "a purge leaves no trace: dpkg, /opt/tarvik, $DATA, /etc/tarvik, $OBJECTS, the autostart entry, the helper's override" bash -c "
    ! dpkg-query -W -f='\${Status}' tarvik tarvik-desktop 2>/dev/null | grep -q 'ok' &&
    test ! -e /opt/tarvik && test ! -e $DATA && test ! -e /etc/tarvik && test ! -e $OBJECTS &&
    test ! -e /etc/xdg/autostart/tarvik.desktop && ! dpkg-statoverride --list /opt/tarvik/tarvikdrop >/dev/null"
if ((!user_existed && !group_existed)); then
    check "a purge removes the account and the group tarvik it made" \
        bash -c "! getent passwd tarvik >/dev/null && ! getent group tarvik >/dev/null"
fi

summary
((failed == 0))
