#!/usr/bin/env bash
# Tries against the installed tarvik package what a local attacker would, as the unprivileged user
# nobody and as a member of the group tarvik, and checks that every attempt fails: replacing the
# code, links planted in the data folder and the named-objects folder, reading another user's
# private file through the service, stopping or hanging the service through its named objects or
# its log, reading crash dumps, and ownership changes of the maintainer script through links.
#
# Run as root with the package installed and the service stopped (scripts/package-test.sh calls it
# so), under the exclusive machine lock: flock -x /tmp/tarvik-machine.lock bash scripts/security-test.sh
# It starts the installed program itself, as root (it changes to the account tarvik) or as the
# unit does, creates a test user in the group tarvik and removes it again, and puts the data folder,
# the named-objects folder and the registry value it sets back as they were. Prints one PASS or FAIL
# line per check and exits non-zero on any failure.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
readonly CODE=/opt/tarvik
readonly DATA=/var/opt/tarvik
readonly OBJECTS=/run/tarvik
readonly MEMBER=tarvik-sectest
readonly HALVANE=/etc/tarvik/registry/HKEY_LOCAL_MACHINE/Software/Nordal/Halvane

# shellcheck source=check-lib.sh
source "$root/scripts/check-lib.sh"
# refused DESCRIPTION COMMAND...: the attempt COMMAND must fail.
refused() {
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then fail "$what (it succeeded)"; else pass "$what"; fi
}
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
as_member() { setpriv --reuid="$MEMBER" --regid="$MEMBER" --init-groups "$@"; }
as_account() { setpriv --reuid=tarvik --regid=tarvik --init-groups "$@"; }
# state PATH: what an attack on PATH could change: content, mode, owner and links.
state() { printf '%s %s\n' "$(stat -c '%a %U:%G %h' -- "$1")" "$(sha256sum <"$1" | cut -c1-64)"; }
# content_state PATH: content, mode and owner (a planted link that the service removes again changes
# only the link count).
content_state() { printf '%s %s\n' "$(stat -c '%a %U:%G' -- "$1")" "$(sha256sum <"$1" | cut -c1-64)"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "security-test: needs root" >&2
    exit 1
fi
if ! dpkg-query -W -f='${Status}' tarvik 2>/dev/null | grep -q 'install ok installed' || ! getent passwd tarvik >/dev/null; then
    echo "security-test: the package tarvik is not installed" >&2
    exit 1
fi
for exe in /proc/[0-9]*/exe; do
    if [ "$(readlink "$exe" 2>/dev/null)" = "$CODE/tarvik" ]; then
        echo "security-test: $CODE/tarvik runs (pid $(basename "$(dirname "$exe")")); stop the service first" >&2
        exit 1
    fi
done

# The work folder lies in /var/tmp, on the file system of the data folder, so that hard links from
# there into the data folder are possible; its twin in /run for the named-objects folder.
work="$(mktemp -d /var/tmp/tarvik-security.XXXXXX)"
runwork="$(mktemp -d /run/tarvik-security.XXXXXX)"
chmod 0755 "$work" "$runwork"
member_made=0
service_pid=""
sink_pid=""
holder_pids=""
dump_value_saved=""
[ -e "$HALVANE/DumpType" ] && { dump_value_saved="$work/DumpType"; cp -p "$HALVANE/DumpType" "$dump_value_saved"; }
# The registry keys that the crash-dump check makes, deepest first, so that they go again.
made_keys=""
for key in "$HALVANE" "$(dirname "$HALVANE")" "$(dirname "$(dirname "$HALVANE")")"; do
    [ -e "$key" ] || made_keys="$made_keys $key"
done
cp -a "$DATA" "$work/data-saved"
cp -a "$OBJECTS" "$work/objects-saved" 2>/dev/null || true
code_mode="$(stat -c '%a %U %G' "$CODE")"

cleanup() {
    trap - EXIT INT TERM
    for pid in $service_pid $sink_pid $holder_pids; do
        stop_pid "$pid"
    done
    rm -rf "$DATA" "$OBJECTS"
    cp -a "$work/data-saved" "$DATA"
    [ -e "$work/objects-saved" ] && cp -a "$work/objects-saved" "$OBJECTS"
    rm -f "$CODE"/tarvik.ini "$CODE"/tarvik.log "$CODE"/tarvik.old.log
    read -r mode user group <<<"$code_mode"
    chown "$user:$group" "$CODE"
    chmod "$mode" "$CODE"
    rm -f "$HALVANE/DumpType"
    [ -n "$dump_value_saved" ] && cp -p "$dump_value_saved" "$HALVANE/DumpType"
    for key in $made_keys; do rmdir "$key" 2>/dev/null || true; done
    if ((member_made)); then
        # Whatever the test started as its own user and left running goes first (userdel refuses a
        # user that still has processes).
        for pid in $(ps -u "$MEMBER" -o pid= 2>/dev/null); do
            echo "security-test: ending $(ps -o args= -p "$pid") of $MEMBER" >&2
            stop_pid "$pid"
        done
        userdel "$MEMBER" || { sleep 1 && userdel "$MEMBER"; } || true
        if getent group "$MEMBER" >/dev/null; then groupdel "$MEMBER" || true; fi
    fi
    rm -rf "$work" "$runwork"
}
trap cleanup EXIT
trap 'echo "FAIL: interrupted or out of time"; exit 1' INT TERM

if ! getent passwd "$MEMBER" >/dev/null; then
    useradd --system --no-create-home --shell /usr/sbin/nologin --user-group "$MEMBER" && member_made=1
fi
usermod -aG tarvik "$MEMBER"

# The service's own spool and a mail sink on loopback; settings written by the account.
spool="$work/spool"
mkdir -p "$spool"/{in,out,err,pdf} "$work/mail"
chown tarvik:tarvik "$spool"/{in,out,err}
/usr/bin/python3 "$root/tests/support/smtp_sink.py" --host 127.0.0.1 --port 0 --maildir "$work/mail" \
    --port-file "$work/smtp.port" </dev/null >"$work/smtp.out" 2>&1 &
sink_pid=$!
wait_for 10 test -s "$work/smtp.port" || fail "the SMTP sink starts"
# write_ini TXTINDIR [ATTEMPTS]: the settings, UTF-16LE, written through the account.
write_ini() {
    {
        printf '\xff\xfe'
        printf '%s\r\n' "[General]" "AttemptTimeout=1" "TxtInDir=$1" "TxtOutDir=$spool/out/" \
            "PdfDefDir=$spool/pdf/" "Attempts=${2:-8}" "MoveErr=1" "TxtErrDir=$spool/err/" "[E-mail]" \
            "DefEmail=operator@example.com" "EmSmtpServer=127.0.0.1" "EmSenderEmail=tarvik@example.com" \
            "EmSenderName=Tarvik" "EmSubject=Tarvik security test" "EmPort=$(cat "$work/smtp.port")" |
            iconv -f UTF-8 -t UTF-16LE
    } | as_account sh -c "rm -f '$DATA/tarvik.ini' && umask 007 && cat >'$DATA/tarvik.ini'"
}
write_ini "$spool/in/"

# start_service root|unit: the installed program, started by root (it changes to the account itself)
# or as the unit runs it. Its standard error goes to $work/service.err.
start_service() {
    mark_log
    if [ "$1" = root ]; then
        (cd / && exec setsid env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TARVIK_HEADLESS=1 "$CODE/tarvik" -autostart) \
            </dev/null >"$work/service.err" 2>&1 &
    else
        (cd "$DATA" && umask 0027 && exec setsid setpriv --reuid=tarvik --regid=tarvik --init-groups --reset-env \
            env TARVIK_HEADLESS=1 RUNTIME_DIRECTORY="$OBJECTS" "$CODE/tarvik" -autostart) \
            </dev/null >"$work/service.err" 2>&1 &
    fi
    service_pid=$!
}
# The log's size when the service was last started: started looks only at what came after it (or at
# the whole log once it was rotated).
log_mark=0
mark_log() { log_mark="$(stat -c %s "$DATA/tarvik.log" 2>/dev/null || echo 0)"; }
started() {
    local size
    size="$(stat -c %s "$DATA/tarvik.log" 2>/dev/null)" || return 1
    ((size < log_mark)) && log_mark=0
    tail -c +$((log_mark + 1)) "$DATA/tarvik.log" | grep -aq "Documents monitoring service started"
}
# run_briefly root|unit: starts the service, gives it a few seconds (it may refuse to start), stops it.
run_briefly() {
    start_service "$1"
    wait_for 5 started || sleep 1
    sleep 2
    stop_pid "$service_pid"
    service_pid=""
}

# --- 1. the code is root's alone -----------------------------------------------------------------
for who in nobody member; do
    as=as_$who
    [ "$who" = member ] && as=as_member
    for file in "$CODE/tarvik" "$CODE/libQuickPDFDLL0723.so"; do
        before="$(state "$file")"
        refused "$who cannot overwrite $file" $as sh -c "cat /bin/true >'$file'"
        refused "$who cannot rename $file away" $as mv -f "$file" "$file.old"
        refused "$who cannot put a file of its own in its place" $as sh -c "cp /bin/true '$CODE/.x' && mv -f '$CODE/.x' '$file'"
        check "$file is unchanged after $who's attempts" test "$(state "$file")" = "$before"
    done
done
loose="$(find "$CODE" /usr/sbin/msiexec \( ! -user root -o -perm /022 \) ! -type l 2>&1)"
check "everything in $CODE and /usr/sbin/msiexec is root's and writable by root alone" test -z "$loose"
check "the printing side's helper is setgid tarvik and writable by root alone (2755 root:tarvik)" \
    test "$(stat -c '%a %U:%G' "$CODE/tarvikdrop" 2>&1)" = "2755 root:tarvik"

# --- the service's account -----------------------------------------------------------------------
start_service root
if wait_for 10 started; then
    pass "the installed service, started by root, starts"
else
    fail "the installed service, started by root, starts (stderr: $(head -c 300 "$work/service.err"))"
fi
uid="$(id -u tarvik)"
gid="$(getent group tarvik | cut -d: -f3)"
switched() {
    local status="/proc/$service_pid/status"
    grep -Eq "^Uid:\s+$uid\s+$uid\s+$uid\s+$uid$" "$status" && grep -Eq "^Gid:\s+$gid\s+$gid\s+$gid\s+$gid$" "$status" &&
        grep -Eq "^Groups:\s*($gid)?\s*$" "$status" && grep -Eq '^CapEff:\s+0+$' "$status"
}
check "started by root, it runs as tarvik: user, group, no other group, no capability" switched

# --- 2. the named objects --------------------------------------------------------------------------
check "the named-objects folder is 0770 tarvik:tarvik" test "$(stat -c '%a %U:%G %F' "$OBJECTS")" = "770 tarvik:tarvik directory"
mapfile -t objects < <(find "$OBJECTS" -mindepth 1 -maxdepth 1 -printf '%f\n')
echo "security-test: objects of the running service: ${objects[*]:-none}"
check "the running service has its objects in $OBJECTS" test "${#objects[@]}" -gt 0
objects_private() {
    local name
    for name in "${objects[@]}"; do
        case "$(stat -c '%a %G' "$OBJECTS/$name")" in
        "660 tarvik") ;;
        *) echo "$name: $(stat -c '%a %U:%G' "$OBJECTS/$name")"; return 1 ;;
        esac
    done
}
check "every object is 0660, group tarvik" objects_private
refused "nobody cannot list the named-objects folder" as_nobody ls "$OBJECTS"
refused "nobody cannot create an object" as_nobody sh -c ": >'$OBJECTS/planted'"
for name in "${objects[@]}"; do
    path="$OBJECTS/$name"
    refused "nobody cannot write into $name (a quit request)" as_nobody timeout 2 sh -c "printf x >>'$path'"
    refused "nobody cannot lock $name (instance marker, settings mutex)" as_nobody timeout 2 flock -n -s "$path" true
done
check "the service still runs after nobody's attempts" bash -c "$(declare -f ended); ! ended $service_pid"

# --- 3. the log ------------------------------------------------------------------------------------
check "the log is 0640 tarvik:tarvik in a folder closed to others" \
    test "$(stat -c '%a %U:%G' "$DATA/tarvik.log")/$(stat -c '%a' "$DATA")" = "640 tarvik:tarvik/2770"
refused "nobody cannot read the log" as_nobody cat "$DATA/tarvik.log"
refused "nobody cannot take a shared lock on the log" as_nobody timeout 2 flock -n -s "$DATA/tarvik.log" true
refused "nobody cannot read the settings" as_nobody cat "$DATA/tarvik.ini"
stop_pid "$service_pid"
service_pid=""

# A member's shared lock on a log due for rotation neither stops the monitor thread nor the stop.
as_account sh -c "
    line='4,4000,Information,01/01/2026,00:00:00.000,filler record of the security test'
    i=0
    while [ \$i -lt 15000 ]; do echo \"\$line\"; i=\$((i + 1)); done >>'$DATA/tarvik.log'"
# hold_lock KIND PATH: a process of the member that holds a lock on PATH until it is ended (KIND
# flock-shared: a shared flock; posix-exclusive: an exclusive lock of the whole file, as lockf).
hold_lock() {
    # Not through as_member: a function sent to the background runs in a shell of its own, and $!
    # would be that shell's, not the holder's.
    setpriv --reuid="$MEMBER" --regid="$MEMBER" --init-groups /usr/bin/python3 -c '
import fcntl, os, sys, time
if sys.argv[1] == "flock-shared":
    fd = os.open(sys.argv[2], os.O_RDONLY)
    fcntl.flock(fd, fcntl.LOCK_SH)
else:
    fd = os.open(sys.argv[2], os.O_RDWR)
    fcntl.lockf(fd, fcntl.LOCK_EX)
time.sleep(120)' "$1" "$2" &
    holder_pids="$holder_pids $!"
}
hold_lock flock-shared "$DATA/tarvik.log"
sleep 0.5
start_service unit
sleep 4
kill -TERM "$service_pid" 2>/dev/null
stopped_in_time() { wait_for 15 ended "$service_pid"; }
check "a member's shared lock on the log does not hold the service: SIGTERM ends it" stopped_in_time
wait "$service_pid" 2>/dev/null
status=$?
check "... with exit code 0" test "$status" -eq 0
stop_pid "$service_pid"
service_pid=""
for pid in $holder_pids; do stop_pid "$pid"; done
holder_pids=""

# --- 4. links planted in the data folder -----------------------------------------------------------
# Victims: a file of the member's (the account could write it through the group) and a private file
# of root's. Neither may change whatever the service does with the names in its data folder.
mkdir -m 0755 "$work/member" "$work/root-private"
chown "$MEMBER" "$work/member"
chmod 0700 "$work/root-private"
as_member sh -c "umask 007; echo member data >'$work/member/victim'; chgrp tarvik '$work/member/victim'"
echo 'root data' >"$work/root-private/victim"
chmod 0600 "$work/root-private/victim"
victims_unchanged() {
    ((planted)) || { echo "the links could not be planted"; return 1; }
    [ "$(state "$work/member/victim")" = "$member_before" ] && [ "$(state "$work/root-private/victim")" = "$root_before" ]
}
# plant_and_run HOW LOGTARGET INITARGET: replaces tarvik.log and tarvik.ini by links (HOW: -s for
# symbolic, "" for hard links) to the victims, starts the service as root and stops it again.
plant_and_run() {
    member_before="$(state "$work/member/victim")"
    root_before="$(state "$work/root-private/victim")"
    cp -p "$DATA/tarvik.ini" "$work/ini.keep"
    rm -f "$DATA/tarvik.log" "$DATA/tarvik.old.log" "$DATA/tarvik.ini"
    if [ -z "$1" ]; then
        # Hard links to another user's file need fs.protected_hardlinks at 0; root plants them.
        ln "$2" "$DATA/tarvik.log" && ln "$3" "$DATA/tarvik.ini" || planted=0
    else
        as_member ln -sfn "$2" "$DATA/tarvik.log" && as_member ln -sfn "$3" "$DATA/tarvik.ini" || planted=0
    fi
    run_briefly root
    rm -f "$DATA/tarvik.log" "$DATA/tarvik.ini"
    cp -p "$work/ini.keep" "$DATA/tarvik.ini"
}
planted=1
plant_and_run -s "$work/member/victim" "$work/root-private/victim"
check "a symbolic link planted as tarvik.log (to a member's file) or tarvik.ini (to root's) changes neither file" \
    victims_unchanged
plant_and_run -s "$work/root-private/victim" "$work/member/victim"
check "a symbolic link planted as tarvik.log (to root's file) or tarvik.ini (to a member's) changes neither file" \
    victims_unchanged
plant_and_run "" "$work/member/victim" "$work/root-private/victim"
check "a hard link planted as tarvik.log or tarvik.ini changes neither file" victims_unchanged

# --- 5. TxtInDir pointed at another user's private folder ------------------------------------------
private="$work/private"
mkdir -m 0700 "$private"
printf 'File: %s/pdf/none.pdf\r\nRespondEmail: attacker@example.com\r\nsecret-line-of-daemon\r\n' "$spool" >"$private/notes.txt"
chmod 0600 "$private/notes.txt"
touch -d '1 hour ago' "$private/notes.txt"
chown -R daemon:daemon "$private"
notes_before="$(state "$private/notes.txt")"
mails_before="$(ls "$work/mail" | wc -l)"
# member_points_at FOLDER: the member rewrites the settings, as its tray program may: TxtInDir is
# FOLDER, two attempts. Then the service runs, started by root, for a few passes.
member_points_at() {
    {
        printf '\xff\xfe'
        iconv -f UTF-16LE -t UTF-8 "$DATA/tarvik.ini" | tail -c +4 |
            sed "s|^TxtInDir=.*|TxtInDir=$1/\r|; s|^Attempts=.*|Attempts=2\r|" | iconv -f UTF-8 -t UTF-16LE
    } >"$work/ini.member"
    as_member sh -c "cat '$work/ini.member' >'$DATA/tarvik.ini'"
    start_service root
    wait_for 10 started
    sleep 6
    stop_pid "$service_pid"
    service_pid=""
}
member_points_at "$private"
leaked() { grep -rqs 'secret-line-of-daemon' "$work/mail" "$DATA/tarvik.log" "$work/service.err"; }
check "the service cannot read another user's private control file (nothing of it in the log or a mail)" \
    bash -c "$(declare -f leaked); ! leaked"
check "no mail went out for it and it stays where it was, unchanged" \
    test "$(ls "$work/mail" | wc -l)/$(state "$private/notes.txt")" = "$mails_before/$notes_before"
# The same control file in a folder the service may read is given up and reported: the settings that
# the member wrote did reach the service.
mkdir -m 0750 "$work/readable"
cp "$private/notes.txt" "$work/readable/notes.txt"
touch -d '1 hour ago' "$work/readable/notes.txt"
chown -R tarvik:tarvik "$work/readable"
member_points_at "$work/readable"
reported() { grep -qs attacker@example.com "$work"/mail/*.json; }
check "control: where the service may read it, the same control file is reported to its RespondEmail" reported
write_ini "$spool/in/"

# --- 6. objects: a hard link under an object's name, and a member's locks -------------------------
member_obj="$runwork/member-file"
root_obj="$runwork/root-file"
echo 'member data' >"$member_obj"
chown "$MEMBER:tarvik" "$member_obj"
chmod 0640 "$member_obj"
echo 'root data' >"$root_obj"
chmod 0600 "$root_obj"
if [ "${#objects[@]}" -gt 0 ]; then
    member_before="$(content_state "$member_obj")"
    root_before="$(content_state "$root_obj")"
    planted=1
    for name in "${objects[@]}"; do
        rm -f "$OBJECTS/$name"
        if [ "$name" = "${objects[0]}" ]; then
            ln "$root_obj" "$OBJECTS/$name" || planted=0
        else
            as_member ln "$member_obj" "$OBJECTS/$name" || planted=0
        fi
    done
    run_briefly root
    objects_victims() {
        local now
        now="$planted/$(content_state "$member_obj")/$(content_state "$root_obj")"
        [ "$now" = "1/$member_before/$root_before" ] || { echo "before: 1/$member_before/$root_before now: $now"; return 1; }
    }
    check "hard links planted under the objects' names (to root's and a member's file) change neither file" \
        objects_victims
    grep -a . "$work/service.err" | head -3 | sed 's/^/  the service said: /'
    find "$OBJECTS" -mindepth 1 -maxdepth 1 -samefile "$member_obj" -delete
    find "$OBJECTS" -mindepth 1 -maxdepth 1 -samefile "$root_obj" -delete

    # A member's whole-file locks on every object: start-up must not hang on them, and SIGTERM ends it.
    run_briefly unit
    mapfile -t objects < <(find "$OBJECTS" -mindepth 1 -maxdepth 1 -type f -printf '%f\n')
    for name in "${objects[@]}"; do
        hold_lock posix-exclusive "$OBJECTS/$name"
    done
    sleep 0.5
    start_service unit
    sleep 3
    kill -TERM "$service_pid" 2>/dev/null
    check "with a member's locks on every object file (${#objects[@]}), SIGTERM still ends the start-up" \
        wait_for 15 ended "$service_pid"
    stop_pid "$service_pid"
    service_pid=""
    for pid in $holder_pids; do stop_pid "$pid"; done
    holder_pids=""
else
    fail "objects to plant links for (the service made none)"
fi

# --- 7. crash dumps --------------------------------------------------------------------------------
mkdir -p "$HALVANE"
echo 0 >"$HALVANE/DumpType"
for _ in 1 2 3 4 5 6; do
    start_service unit
    # Its end by the signal is expected: not reported by the shell.
    disown "$service_pid"
    wait_for 10 started
    sleep 0.5
    kill -SEGV "$service_pid" 2>/dev/null
    wait_for 10 ended "$service_pid"
    service_pid=""
done
mapfile -t dumps < <(find "$DATA/dumps" -maxdepth 1 -name 'coredump-*.dmp' 2>/dev/null | sort)
echo "security-test: ${#dumps[@]} dump(s) in $DATA/dumps after 6 crashes"
check "crash dumps land in $DATA/dumps, the newest 5 kept" test "${#dumps[@]}" -ge 1 -a "${#dumps[@]}" -le 5
dumps_private() {
    local d
    for d in "${dumps[@]}"; do
        [ "$(stat -c '%a %U' "$d")" = "600 tarvik" ] || { echo "$d: $(stat -c '%a %U:%G' "$d")"; return 1; }
    done
    [ "${#dumps[@]}" -ge 1 ]
}
check "every dump is 0600, the account's" dumps_private
[ "${#dumps[@]}" -ge 1 ] && refused "nobody cannot read a dump" as_nobody cat "${dumps[-1]}"
check "no dump lands beside the program or in the working folder" \
    bash -c "! ls '$CODE' '$DATA' / | grep -q '^coredump-'"
rm -f "$HALVANE/DumpType"

# --- 8. the maintainer script and links planted in the old layout ----------------------------------
# In the layout of earlier versions a member could write /opt/tarvik (2775 root:tarvik) and
# /run/tarvik (1777). Links planted there, and in the data folder, must not lead the postinst to
# change or read anything else.
for n in 1 2 3 4; do
    echo "root data $n" >"$work/root-private/victim$n"
    chmod 0600 "$work/root-private/victim$n"
done
rm -f "$CODE/tarvik.ini" "$CODE/tarvik.log" "$CODE/tarvik.old.log"
chown root:tarvik "$CODE"
chmod 2775 "$CODE"
as_member ln -s "$work/root-private/victim1" "$CODE/tarvik.ini"
as_member ln -s "$work/root-private/victim2" "$CODE/tarvik.log"
ln "$work/root-private/victim3" "$CODE/tarvik.old.log" # a hard link, as with fs.protected_hardlinks 0
rm -f "$DATA/tarvik.ini"
as_member ln -s "$work/root-private/victim4" "$DATA/tarvik.ini.dpkg-new"
rm -rf "$OBJECTS"
mkdir -m 1777 "$OBJECTS"
as_member ln -s "$work/root-private/victim4" "$OBJECTS/planted"
postinst_before="$(for n in 1 2 3 4; do state "$work/root-private/victim$n"; done)"
/var/lib/dpkg/info/tarvik.postinst configure 0.1.0 >"$work/postinst.log" 2>&1
check "the postinst ends well over the planted links" test $? -eq 0
check "the postinst changed no owner, mode or content through a planted link" \
    test "$(for n in 1 2 3 4; do state "$work/root-private/victim$n"; done)" = "$postinst_before"
check "it moved none of the planted links' targets into the data folder" \
    bash -c "! grep -rqs 'root data' '$DATA'"
check "it made /opt/tarvik root's alone again" test "$(stat -c '%a %U:%G' "$CODE")" = "755 root:root"
check "it wrote fresh default settings, the account's, not a link" \
    test "$(stat -c '%F %a %U:%G' "$DATA/tarvik.ini")" = "regular file 660 tarvik:tarvik"
check "it made the named-objects folder anew: 0770 tarvik:tarvik, empty" \
    test "$(stat -c '%a %U:%G' "$OBJECTS")/$(ls -A "$OBJECTS")" = "770 tarvik:tarvik/"

echo "security-test: $passed passed, $failed failed"
((failed == 0))
