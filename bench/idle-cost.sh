#!/usr/bin/env bash
# Idle cost of zorvex.exe under Wine: with 100 ordinary windows open and detection on, the CPU time
# over a span (the program's own and what Wine's server spends meanwhile, as shares of one core) and
# its private memory (RssAnon; peak resident beside it), beside the floor: a bare walk that reads
# every window's class name at the same rate, measured in the same run. With a count of window
# rules, rules.xml holds that many (by program and class, by class and title, by program alone, as
# users write them), none of which fits the windows open.
# Usage: bench/idle-cost.sh [seconds] [window rules]   (after scripts/build win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
rules=${2:-0}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root"/build/win32/{zorvex,popup_windows,bare_walk}.exe "$root/bench/wine-measure.sh" "$scratch/"
if [ "$rules" -gt 0 ]; then
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<Rules>'
    for i in $(seq 0 $((rules - 1))); do
      case $((i % 3)) in
        0) echo " <WindowRule program=\"program$i.exe\" class=\"#32770\" title=\"*licen?e $i*\" action=\"press\" button=\"Close\"/>" ;;
        1) echo " <WindowRule class=\"NagScreen$i\" title=\"*sponsored $i*\" action=\"close\"/>" ;;
        2) echo " <WindowRule program=\"nagware$i.exe\" action=\"minimize\"/>" ;;
      esac
    done
    echo '</Rules>'
  } >"$scratch/rules.xml"
fi
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
  # Private memory of process $1 in KiB.
  private() { awk "/RssAnon/ {print \$2}" "/proc/$1/status"; }
  wine popup_windows.exe --seconds=$((3 * seconds + 60)) "$@" 2>/dev/null &
  sleep 5
  wine zorvex.exe 2>/dev/null &
  sleep 8
  pid=$(our_process zorvex.exe)
  read -r own server < <(measure "$pid")
  peak=$(awk "/VmHWM/ {print \$2}" "/proc/$pid/status")
  mine=$(private "$pid")
  threads=$(ls "/proc/$pid/task" | wc -l)
  kill "$pid"
  wine bare_walk.exe $((seconds + 10)) 2>/dev/null &
  sleep 3
  walk=$(our_process bare_walk.exe)
  read -r wown wserver < <(measure "$walk")
  bare=$(private "$walk")
  echo "zorvex.exe, 100 windows, ${seconds} s: $(share "$own" "$seconds") of one core, Wine server $(share "$server" "$seconds"); private $((mine / 1024)).$((mine % 1024 * 10 / 1024)) MiB in $threads threads, peak resident $((peak / 1024)) MiB"
  echo "bare walk at the same rate:       $(share "$wown" "$seconds") of one core, Wine server $(share "$wserver" "$seconds"); private $((bare / 1024)).$((bare % 1024 * 10 / 1024)) MiB"
  awk -v z=$((own + server)) -v w=$((wown + wserver)) "BEGIN { if (w > 0) printf \"ratio (program + server): %.2f\n\", z / w }"
  awk -v m="$mine" -v b="$bare" "BEGIN { printf \"own share of private memory: %.2f MiB\n\", (m - b) / 1024 }"
' _ "$scratch" "$seconds" "${windows[@]}"
