#!/usr/bin/env bash
# The tray program end to end in a real X server: Xvfb, the trayer tray host, xdotool for the mouse
# and keys, ImageMagick's import for pictures. Shows that the icon docks, the menu controls the
# engine, the form saves settings and restarts it, the icon comes back after the tray host restarts,
# "Log ..." starts the viewer, and Exit ends the program with code 0. Then the same program under a
# StatusNotifierItem host (status-notifier-watcher and gtk-sni-tray-standalone on a private D-Bus
# session): the item registered once for the whole run, its menu over D-Bus with the six items and
# their states, and an activation that opens the form.
#
#   tests/e2e/desktop_e2e.sh BIN_DIR [SHOTS_DIR]
#
# BIN_DIR holds tarvik (and logvista when it is built; otherwise a stand-in records its arguments).
# With SHOTS_DIR the tray menu, the settings form and the log viewer are saved there as PNG files.
# Installs nothing (scripts/install-deps.sh does). Every wait is bounded; every process it started is
# ended by its pid on the way out.
set -uo pipefail

BIN_DIR="$(cd "${1:?usage: $0 BIN_DIR [SHOTS_DIR]}" && pwd)"
SHOTS_DIR="${2:-}"
ATTEMPT_TIMEOUT=3

for tool in Xvfb trayer xdotool xwininfo import convert iconv dbus-daemon gdbus status-notifier-watcher \
  gtk-sni-tray-standalone; do
  command -v "$tool" >/dev/null || { echo "desktop_e2e: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
if [ "$(id -u)" -ne 0 ]; then
  echo "desktop_e2e: skipped: only the system account (root) starts without the warning box"
  exit 0
fi

ROOT="$(mktemp -d /tmp/tarvik-desktop-XXXXXX)"
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do
    kill "$pid" 2>/dev/null
  done
  sleep 0.3
  for pid in "${PIDS[@]}"; do
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$ROOT"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE

fail() {
  echo "desktop_e2e: FAILED: $*" >&2
  [ -f "$ROOT/tarvik.err" ] && sed 's/^/  tarvik: /' "$ROOT/tarvik.err" >&2
  exit 1
}
step() { echo "desktop_e2e: $*"; }

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds, for at most SECONDS of wall-clock time.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.1
  done
}

mkdir -p "$ROOT"/{obj,reg,in,out,err,xdg}
chmod 700 "$ROOT/xdg"
cp -r "$BIN_DIR" "$ROOT/bin"
rm -f "$ROOT/bin/tarvik.log" "$ROOT/bin/tarvik.old.log" "$ROOT/bin/tarvik.ini"
if [ ! -x "$ROOT/bin/logvista" ]; then
  cat >"$ROOT/bin/logvista" <<'STANDIN'
#!/bin/sh
# Stand-in for the log viewer: records its arguments.
printf '%s\n' "$*" > "$(dirname "$0")/logvista.args"
STANDIN
  chmod +x "$ROOT/bin/logvista"
  REAL_VIEWER=0
else
  REAL_VIEWER=1
fi
printf '[General]\r\nAttemptTimeout=%s\r\nTxtInDir=%s\r\nTxtOutDir=%s\r\nAttempts=5\r\nMoveErr=1\r\nTxtErrDir=%s\r\n[E-mail]\r\nDefEmail=ops@example.org\r\nEmSmtpServer=127.0.0.1\r\nEmPort=25\r\n' \
  "$ATTEMPT_TIMEOUT" "$ROOT/in" "$ROOT/out" "$ROOT/err" | iconv -f UTF-8 -t UTF-16 >"$ROOT/bin/tarvik.ini"

# The X server picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$ROOT/display" 2>"$ROOT/xvfb.err" &
PIDS+=($!)
wait_for 10 test -s "$ROOT/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$ROOT/display")"
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= XDG_RUNTIME_DIR="$ROOT/xdg"
export TARVIK_OBJECTS_DIR="$ROOT/obj" TARVIK_REGISTRY_DIR="$ROOT/reg"
unset DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP DESKTOP_SESSION TARVIK_HEADLESS WAYLAND_DISPLAY
step "display $DISPLAY"

start_tray() {
  trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
  TRAYER=$!
  PIDS+=("$TRAYER")
}

# docked: prints "x y w h" of the program's icon when a tray host holds it: a viewable window of
# tarvik, larger than 1x1, whose parent is not the root window.
docked() {
  local w info
  for w in $(xdotool search --classname '^tarvik$' 2>/dev/null); do
    [ -n "$w" ] || continue
    info="$(xwininfo -id "$w" 2>/dev/null)" || continue
    grep -q 'Map State: IsViewable' <<<"$info" || continue
    xwininfo -children -id "$w" 2>/dev/null | grep -q 'Parent window id: .*(the root window)' && continue
    awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2}
         END{if (w > 1 && h > 1) {print x, y, w, h; exit 0} exit 1}' <<<"$info" && return 0
  done
  return 1
}
is_docked() { docked >/dev/null; }
is_not_docked() { ! docked >/dev/null; }

toplevel_with_title() {
  local w
  for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
    [ -n "$w" ] && echo "$w" && return 0
  done
  return 1
}
# menu_window: the program's popup menu, a viewable top-level window of tarvik without a title of its
# own (Qt names it after the application; the form and the boxes have titles).
menu_window() {
  local w
  for w in $(xdotool search --onlyvisible --classname '^tarvik$' 2>/dev/null); do
    [ -n "$w" ] || continue
    xwininfo -children -id "$w" 2>/dev/null | grep -q 'Parent window id: .*(the root window)' || continue
    case "$(xdotool getwindowname "$w" 2>/dev/null)" in
      "" | Tarvik) echo "$w" && return 0 ;;
    esac
  done
  return 1
}
menu_is_open() { menu_window >/dev/null; }
menu_is_closed() { ! menu_window >/dev/null; }

log_count() { grep -c "$1" "$ROOT/bin/tarvik.log" 2>/dev/null || true; }
count_at_least() { [ "$(log_count "$1")" -ge "$2" ]; }

shoot() { # shoot NAME WINDOW [tray]: the window's area of the screen (with tray: up to the screen's
  # top right corner, so that the icon is in the picture), checked not to be blank
  [ -n "$SHOTS_DIR" ] || return 0
  local geo
  geo="$(xwininfo -id "$2" | awk -v tray="${3:-}" '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /Width:/{w=$2} /Height:/{h=$2}
    END{if (tray != "") {x -= 8; if (x < 0) x = 0; w = 800 - x; h += y + 8; y = 0} print w "x" h "+" x "+" y}')"
  mkdir -p "$SHOTS_DIR"
  import -window root "$ROOT/screen.png" && convert "$ROOT/screen.png" -crop "$geo" +repage "$SHOTS_DIR/$1.png"
  local sd
  sd="$(convert "$SHOTS_DIR/$1.png" -format '%[fx:standard_deviation]' info:)"
  awk -v s="$sd" 'BEGIN{exit !(s > 0.02)}' || fail "picture $1 is blank"
  step "saved $SHOTS_DIR/$1.png"
}

open_menu() {
  local x y w h
  read -r x y w h < <(docked) || fail "no docked icon to click"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 3
  # A click that came before the icon took input is repeated once.
  wait_for 2 menu_is_open || { xdotool click 3; wait_for 5 menu_is_open; } || fail "right click opened no menu"
  sleep 0.2
}
# choose TEXT: the item TEXT by its accelerator (the underlined letter), whatever its place in the
# menu; the menu closes. choose_gray TEXT: the same key on a gray item does nothing: the menu stays
# open (it is closed with Escape afterwards).
declare -A ACCELERATOR=(["Settings ..."]=s ["Log ..."]=l ["Start Service"]=t ["Stop Service"]=p
  ["Restart Service"]=r ["Exit"]=x)
choose() {
  local key="${ACCELERATOR[$1]:?no item $1}"
  step "menu: $1 ($key)"
  xdotool key "$key"
  wait_for 5 menu_is_closed || fail "the menu stayed open after \"$1\""
}
choose_gray() {
  local key="${ACCELERATOR[$1]:?no item $1}"
  xdotool key "$key"
  sleep 0.7
  menu_is_open || fail "\"$1\" was not gray: its key closed the menu"
  step "menu: $1 ($key) is gray"
  xdotool key Escape
  wait_for 5 menu_is_closed || fail "Escape left the menu open"
}

start_tray
T_START=$(date +%s.%N)
"$ROOT/bin/tarvik" >"$ROOT/tarvik.out" 2>"$ROOT/tarvik.err" &
TARVIK=$!
PIDS+=("$TARVIK")

wait_for 10 is_docked || fail "the icon did not dock"
step "icon docked after $(awk -v a="$T_START" -v b="$(date +%s.%N)" 'BEGIN{printf "%.2f", b - a}') s at $(docked)"
wait_for 10 count_at_least "service started" 1 || fail "the engine did not start"
xdotool search --class '^TarvikService$' >/dev/null || fail "no window of class TarvikService"

# Right click: the menu. Start is gray while the engine runs.
open_menu
shoot tray-menu "$(menu_window)" tray
choose_gray "Start Service"
open_menu
choose "Stop Service"
wait_for $((ATTEMPT_TIMEOUT + 3)) count_at_least "service finished" 1 || fail "Stop Service did not stop the engine"
step "Stop Service stopped the engine"

# Stopped: Stop and Restart are gray; Exit asks, answered Cancel nothing happens; Start starts the
# engine.
open_menu
choose_gray "Stop Service"
open_menu
choose_gray "Restart Service"
[ "$(log_count 'service started')" -eq 1 ] || fail "a gray item started the engine"
open_menu
choose "Exit"
wait_for 5 toplevel_with_title '^Stop service$' >/dev/null || fail "Exit did not ask"
xdotool key Escape
sleep 0.5
kill -0 "$TARVIK" 2>/dev/null || fail "Exit answered Cancel ended the program"
open_menu
choose "Start Service"
wait_for 5 count_at_least "service started" 2 || fail "Start Service did not start the stopped engine"
step "Start gray while running, Stop and Restart gray while stopped, Start starts, Exit asks"

# Double click: the form. AttemptTimeout changed, OK: saved and the engine restarted.
read -r x y w h < <(docked)
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click --repeat 2 --delay 80 1
wait_for 5 toplevel_with_title 'Veltrane document monitoring service settings' >/dev/null || fail "double click opened no form"
FORM="$(toplevel_with_title 'Veltrane document monitoring service settings')"
sleep 0.5
shoot settings-form "$FORM"
xdotool windowfocus "$FORM" 2>/dev/null
sleep 0.2
# Focus starts in the first field; six Tabs reach the timeout (three folders with their buttons).
xdotool key Tab Tab Tab Tab Tab Tab ctrl+a
xdotool type 4
xdotool key Return
NEW_TIMEOUT=4
has_new_timeout() { iconv -f UTF-16 -t UTF-8 "$ROOT/bin/tarvik.ini" 2>/dev/null | grep -q "^AttemptTimeout=$NEW_TIMEOUT"; }
wait_for 10 has_new_timeout || fail "OK did not save AttemptTimeout=$NEW_TIMEOUT"
wait_for 10 count_at_least "service started" 3 || fail "OK did not restart the engine"
step "OK saved AttemptTimeout=$NEW_TIMEOUT and restarted the engine"

# The tray host goes away and comes back: the icon docks again within one AttemptTimeout.
kill "$TRAYER"
wait "$TRAYER" 2>/dev/null
wait_for 5 is_not_docked || fail "the icon stayed docked without a tray host"
start_tray
T_BACK=$SECONDS
wait_for "$NEW_TIMEOUT" is_docked || fail "the icon did not come back within $NEW_TIMEOUT s"
step "icon back $((SECONDS - T_BACK)) s after the tray host restarted"

# "Log ..." starts the viewer on the log.
open_menu
choose "Log ..."
LOG="$ROOT/bin/tarvik.log"
if [ "$REAL_VIEWER" = 0 ]; then
  viewer_called() { grep -qxF "/path $LOG /language English" "$ROOT/bin/logvista.args" 2>/dev/null; }
  wait_for 5 viewer_called || fail "Log ... did not start logvista on $LOG"
else
  viewer_window() { xdotool search --onlyvisible --classname '^logvista$' 2>/dev/null | head -1; }
  viewer_shown() { [ -n "$(viewer_window)" ]; }
  wait_for 10 viewer_shown || fail "Log ... showed no viewer"
  sleep 1
  shoot log-viewer "$(viewer_window)"
  # The viewer's window lies over the tray without a window manager: close it before the next click.
  for pid in $(pgrep -P "$TARVIK"); do PIDS+=("$pid"); kill "$pid" 2>/dev/null; done
  viewer_gone() { [ -z "$(viewer_window)" ]; }
  wait_for 10 viewer_gone || fail "the log viewer did not close"
fi
step "Log ... started logvista on the log"

# Exit, answered Yes: the process ends with code 0 and the engine's finish record.
open_menu
choose "Exit"
wait_for 5 toplevel_with_title '^Stop service$' >/dev/null || fail "Exit did not ask"
xdotool key Return
exited() { ! kill -0 "$TARVIK" 2>/dev/null; }
wait_for 10 exited || fail "Exit answered Yes did not end the program"
wait "$TARVIK"
CODE=$?
[ "$CODE" -eq 0 ] || fail "exit code $CODE"
[ "$(log_count 'service started')" -eq "$(log_count 'service finished')" ] || fail "an engine thread did not finish"
step "Exit ended the program with code 0, every engine finished"

# Another process sends the window of class TarvikService the message 2026: the program ends.
"$ROOT/bin/tarvik" >>"$ROOT/tarvik.out" 2>>"$ROOT/tarvik.err" &
TARVIK=$!
PIDS+=("$TARVIK")
wait_for 10 is_docked || fail "the icon did not dock on the second start"
WINDOW="$(xdotool search --class '^TarvikService$' | head -1)"
[ -n "$WINDOW" ] || fail "no window of class TarvikService on the second start"
/usr/bin/python3 - "$WINDOW" <<'PY' || fail "could not send the message"
# XSendEvent of a ClientMessage (format 32) whose first data word is 2026, through libX11.
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]

class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

display = x.XOpenDisplay(None)
if not display:
    sys.exit(1)
window = int(sys.argv[1])
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.display = display
event.xclient.window = window
event.xclient.message_type = x.XInternAtom(display, b"TARVIK_MESSAGE", 0)
event.xclient.format = 32
event.xclient.l[0] = 2026
sent = x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush(display)
x.XCloseDisplay(display)
sys.exit(0 if sent else 1)
PY
wait_for 10 exited || fail "the message 2026 did not end the program"
wait "$TARVIK"
CODE=$?
[ "$CODE" -eq 0 ] || fail "exit code $CODE after the message 2026"
step "the message 2026 at the TarvikService window ended the program with code 0"

# A StatusNotifierItem host on a private session bus: the watcher, then the host, then the program,
# which now takes this route instead of XEmbed. A heartbeat every second.
kill "$TRAYER"
dbus-daemon --session --address="unix:path=$ROOT/bus" --nofork --nopidfile >"$ROOT/dbus.out" 2>&1 &
PIDS+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$ROOT/bus"
bus_up() { gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.GetId >/dev/null 2>&1; }
wait_for 10 bus_up || fail "the private session bus did not start"
watcher() { # watcher PROPERTY: the watcher's property as gdbus prints it
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher "$1" 2>/dev/null
}
status-notifier-watcher >"$ROOT/watcher.out" 2>&1 &
PIDS+=($!)
wait_for 10 watcher IsStatusNotifierHostRegistered >/dev/null || fail "status-notifier-watcher did not start"
gtk-sni-tray-standalone >"$ROOT/host.out" 2>&1 &
PIDS+=($!)
host_registered() { watcher IsStatusNotifierHostRegistered | grep -q true; }
wait_for 10 host_registered || fail "gtk-sni-tray-standalone did not register as a host"
printf '[General]\r\nAttemptTimeout=1\r\nTxtInDir=%s\r\nTxtOutDir=%s\r\n' "$ROOT/in" "$ROOT/out" |
  iconv -f UTF-8 -t UTF-16 >"$ROOT/bin/tarvik.ini"
"$ROOT/bin/tarvik" >>"$ROOT/tarvik.out" 2>>"$ROOT/tarvik.err" &
TARVIK=$!
PIDS+=("$TARVIK")
items() { watcher RegisteredStatusNotifierItems | grep -o "'[^']*'" | tr -d "'" | tr '\n' ' '; }
has_item() { [ -n "$(items)" ]; }
wait_for 10 has_item || fail "the item was not registered with the watcher"
ITEMS="$(items)"
ITEM="${ITEMS%% *}"
SERVICE="${ITEM%%/*}"
ITEM_PATH=/StatusNotifierItem
[ "$SERVICE" = "$ITEM" ] || ITEM_PATH="/${ITEM#*/}"
step "item registered as $ITEM"
same_item() { # the watcher lists the first registration, and nothing else, at every look
  local now
  now="$(items)"
  [ "$now" = "$ITEMS" ] || fail "the item was registered anew: '$ITEMS' became '$now'"
}

menu_layout() { # the menu's items, one "label enabled" line each (mnemonic marks dropped)
  local menu
  menu="$(gdbus call --session --dest "$SERVICE" --object-path "$ITEM_PATH" \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem Menu | grep -o "'[^']*'" | tr -d "'")"
  gdbus call --session --dest "$SERVICE" --object-path "$menu" --method com.canonical.dbusmenu.AboutToShow 0 >/dev/null
  gdbus call --session --dest "$SERVICE" --object-path "$menu" --method com.canonical.dbusmenu.GetLayout -- 0 -1 '@as []' |
    /usr/bin/python3 -c '
import re, sys
for item in re.findall(r"<\((\d+), \{([^}]*)\}", sys.stdin.read()):
    label = re.search(r"\x27label\x27: <\x27([^\x27]*)\x27>", item[1])
    if label:
        enabled = "false" if re.search(r"\x27enabled\x27: <false>", item[1]) else "true"
        print(item[0], label.group(1).replace("_", ""), enabled, sep="|")'
}
click_item() { # click_item TEXT: the item's "clicked" event over D-Bus
  local id
  id="$(menu_layout | awk -F'|' -v t="$1" '$2 == t {print $1}')"
  [ -n "$id" ] || fail "no item $1 in the D-Bus menu"
  gdbus call --session --dest "$SERVICE" --object-path "$MENU_PATH" --method com.canonical.dbusmenu.Event \
    -- "$id" clicked '<0>' 0 >/dev/null || fail "the click on $1 failed"
}
MENU_PATH="$(gdbus call --session --dest "$SERVICE" --object-path "$ITEM_PATH" \
  --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem Menu | grep -o "'[^']*'" | tr -d "'")"
wait_for 10 count_at_least "service started" 1 || fail "the engine did not start under the SNI host"
RUNNING="$(menu_layout | cut -d'|' -f2- | tr '\n' ';')"
[ "$RUNNING" = "Settings ...|true;Log ...|true;Start Service|false;Stop Service|true;Restart Service|true;Exit|true;" ] ||
  fail "menu over D-Bus while running: $RUNNING"
click_item "Stop Service"
STARTED_BEFORE="$(log_count 'service started')"
wait_for 5 count_at_least "service finished" "$STARTED_BEFORE" || fail "Stop Service over D-Bus did not stop the engine"
STOPPED="$(menu_layout | cut -d'|' -f2- | tr '\n' ';')"
[ "$STOPPED" = "Settings ...|true;Log ...|true;Start Service|true;Stop Service|false;Restart Service|false;Exit|true;" ] ||
  fail "menu over D-Bus while stopped: $STOPPED"
click_item "Start Service"
wait_for 5 count_at_least "service started" $((STARTED_BEFORE + 1)) || fail "Start Service over D-Bus did not start the engine"
step "menu over D-Bus: six items, Start gray while running, Stop and Restart gray while stopped"

gdbus call --session --dest "$SERVICE" --object-path "$ITEM_PATH" --method org.kde.StatusNotifierItem.Activate 10 10 \
  >/dev/null || fail "Activate failed"
wait_for 5 toplevel_with_title 'Veltrane document monitoring service settings' >/dev/null ||
  fail "an activation opened no form"
step "an activation opened the form"

# Several heartbeats later the watcher still holds the first registration (a new one would show as a
# new connection's name).
for _ in 1 2 3 4 5 6 7 8 9 10; do same_item; sleep 0.5; done
step "the item stayed registered once as $ITEM"
kill -TERM "$TARVIK"
wait_for 10 exited || fail "SIGTERM did not end the program"
wait "$TARVIK"
CODE=$?
[ "$CODE" -eq 0 ] || fail "exit code $CODE after SIGTERM under the SNI host"
echo "desktop_e2e: PASSED"
