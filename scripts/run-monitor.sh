#!/usr/bin/env bash
# Starts the 64-bit monitor under Wine from a copy of the dist folder (so its
# sys.ini and log.txt stay beside that copy between runs) in a private Wine
# prefix, and greets it with doutsend. Without a DISPLAY it starts its own
# Xvfb, saves a screenshot of the monitor and prints its path. Runs until the
# monitor ends, Ctrl+C or SIGTERM; then asks the monitor to exit (so sys.ini
# is written), stops the prefix's wineserver and its own Xvfb. The monitor and
# Xvfb run in sessions of their own, so a Ctrl+C reaches only this script.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
DIST=${DIST:-dist}
BUILD=$(realpath -m "$BUILD")
DIST=$(realpath -m "$DIST")

for exe in monitor doutsend; do
  [[ -f $DIST/win64/$exe.exe ]] || { echo "missing $DIST/win64/$exe.exe: build first (make)" >&2; exit 1; }
done

prefix=${TOVREL_RUN_PREFIX:-$BUILD/run-prefix}
folder=${TOVREL_RUN_FOLDER:-$BUILD/run-monitor}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# With 32-bit Wine installed, `wine` starts a 64-bit program as another
# process behind start.exe, so a PID or a signal would reach start.exe, not
# the monitor: the 64-bit loader runs the programs itself.
wine64=/usr/lib/wine/wine64
[[ -x $wine64 ]] || wine64=wine

xvfb_pid=
monitor_pid=
# Asks the monitor to exit (command 40003), so that it writes sys.ini, and
# waits for its process to end. The command is sent again every 5 s in case
# it was lost (the window not found, a driver that failed to start under
# load); after 60 s the monitor is left to the kill below.
stop_monitor() {
  local driver=$BUILD/win64/bin/tvdriver.exe window
  [[ -f $driver ]] || { echo "no test driver ($driver): sys.ini is not written" >&2; return 1; }
  for _ in $(seq 12); do
    window=$("$wine64" "$driver" find-window TOVRELWND --timeout 5000 2>/dev/null | tr -d '\r' | head -n 1) || true
    [[ -n $window ]] && "$wine64" "$driver" command "$window" 40003 >/dev/null 2>&1 || true
    for _ in $(seq 50); do
      kill -0 "$monitor_pid" 2>/dev/null || return 0
      sleep 0.1   # polls another process's exit; nothing in bash can await it with a limit
    done
  done
  echo "the monitor did not exit within 60 s; stopping it" >&2
  return 1
}

cleanup() {
  trap - INT TERM EXIT
  if [[ -n $monitor_pid ]] && kill -0 "$monitor_pid" 2>/dev/null; then stop_monitor || true; fi
  [[ -n $monitor_pid ]] && kill "$monitor_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null; then
    for _ in $(seq 50); do
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$xvfb_pid" 2>/dev/null && kill -9 "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'echo; echo "stopping"; exit 0' INT TERM

# The prefix: a copy of the test bench's template when there is one, otherwise
# made here with the same settings.
if [[ ! -f $prefix/.ready ]]; then
  rm -rf "$prefix"
  template=$BUILD/wine-template
  [[ -x /usr/lib/wine/wine ]] && template+=-wow64   # made with 32-bit Wine (see tests/wine/bench.py)
  if [[ -f $template/.ready ]]; then
    cp -a "$template" "$prefix"
  else
    echo "making the Wine prefix $prefix (about 10 s)"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d 'IPA Pゴシック' /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /d 'IPAゴシック' /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    touch "$prefix/.ready"
  fi
fi

headless=
if [[ -z ${DISPLAY:-} ]]; then
  headless=1
  for n in $(seq 90 189); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then export DISPLAY=":$n"; break; fi
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  [[ -n ${DISPLAY:-} ]] || { echo "could not start Xvfb" >&2; exit 1; }
  echo "started Xvfb on $DISPLAY"
fi

mkdir -p "$folder"
cp "$DIST/win64/monitor.exe" "$folder/"
wineserver -p 2>/dev/null || true   # already running is fine

setsid "$wine64" "$folder/monitor.exe" >/dev/null 2>&1 &
monitor_pid=$!
echo "monitor started from $folder (sys.ini and log.txt live there)"

# The mailslot exists from the monitor's first poll tick on.
sent=
for _ in $(seq 150); do
  if "$wine64" "$DIST/win64/doutsend.exe" "こんにちは。Tovrel is running: $(date '+%Y-%m-%d %H:%M:%S')" >/dev/null 2>&1; then
    sent=1
    break
  fi
  kill -0 "$monitor_pid" 2>/dev/null || { echo "the monitor ended early" >&2; exit 1; }
  sleep 0.1
done
[[ -n $sent ]] && echo "greeting sent" || echo "could not reach the monitor's mailslot" >&2

echo "send more text (from any shell) with:"
echo "  WINEPREFIX=$prefix WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine $DIST/win64/doutsend.exe こんにちは"

if [[ -n $headless ]]; then
  sleep 0.5   # one poll tick and a repaint
  shot=$folder/screenshot.png
  window=$(xdotool search --class monitor.exe 2>/dev/null | tail -n 1 || true)
  if [[ -n $window ]] && import -window "$window" "$shot" 2>/dev/null; then :; else
    import -window root "$shot"
  fi
  echo "screenshot: $shot"
fi
echo "running; Ctrl+C stops it"
wait "$monitor_pid" || true
monitor_pid=
