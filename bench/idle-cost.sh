#!/usr/bin/env bash
# Idle cost of zorvex.exe under Wine: with 100 ordinary windows open and detection on, the CPU time
# over a span (the program's own and what Wine's server spends meanwhile, as shares of one core) and
# its peak resident memory, beside the floor: a bare walk that reads every window's class name at
# the same rate, measured in the same run.
# Usage: bench/idle-cost.sh [seconds]   (after scripts/build win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root"/build/win32/{zorvex,popup_windows,bare_walk}.exe "$root/bench/wine-measure.sh" "$scratch/"
windows=()
for i in $(seq 1 100); do windows+=("Notepad|Document $i|300|200|v"); done
"$root/scripts/wine-session" bash -c '
  cd "$1"; seconds=$2; shift 2
  . ./wine-measure.sh
  # Measures process $1 and the server over the span; prints "own server" in ticks.
  measure() {
    local server
    server=$(our_server)
    local a b sa sb
    a=$(ticks "$1"); sa=$(ticks "$server")
    sleep "$seconds"
    b=$(ticks "$1"); sb=$(ticks "$server")
    echo "$((b - a)) $((sb - sa))"
  }
  wine popup_windows.exe --seconds=$((3 * seconds + 60)) "$@" 2>/dev/null &
  sleep 5
  wine zorvex.exe 2>/dev/null &
  sleep 8
  pid=$(pgrep -x zorvex.exe | head -n 1)
  read -r own server < <(measure "$pid")
  peak=$(awk "/VmHWM/ {print \$2}" "/proc/$pid/status")
  kill "$pid"
  wine bare_walk.exe $((seconds + 10)) 2>/dev/null &
  sleep 3
  walk=$(pgrep -x bare_walk.exe | head -n 1)
  read -r wown wserver < <(measure "$walk")
  echo "zorvex.exe, 100 windows, ${seconds} s: $(share "$own" "$seconds") of one core, Wine server $(share "$server" "$seconds"); peak resident $((peak / 1024)) MiB"
  echo "bare walk at the same rate:       $(share "$wown" "$seconds") of one core, Wine server $(share "$wserver" "$seconds")"
  awk -v z=$((own + server)) -v w=$((wown + wserver)) "BEGIN { if (w > 0) printf \"ratio (program + server): %.2f\n\", z / w }"
' _ "$scratch" "$seconds" "${windows[@]}"
