# shellcheck shell=bash
# Shared by the shell test scripts (package-test.sh, security-test.sh, printer-test.sh): one PASS or
# FAIL line per check, counted in $passed and $failed, and bounded waits for commands and processes.
# Sourced, not run.

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
# stop_pid PID: SIGTERM, up to 15 seconds for the end, then SIGKILL; an empty or ended PID is left.
stop_pid() {
    local pid=$1
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait_for 15 ended "$pid" || kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
}
