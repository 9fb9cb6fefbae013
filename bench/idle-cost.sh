#!/usr/bin/env bash
# Idle cost of zorvex.exe under Wine: with 100 ordinary windows open and detection on, the CPU
# time the program uses over 60 seconds (as a share of one core) and its peak resident memory.
# Usage: bench/idle-cost.sh [seconds]   (after scripts/build win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root"/build/win32/{zorvex,popup_windows}.exe "$scratch/"
windows=()
for i in $(seq 1 100); do windows+=("Notepad|Document $i|300|200|v"); done
"$root/scripts/wine-session" bash -c '
  cd "$1"; seconds=$2; shift 2
  wine zorvex.exe 2>/dev/null &
  wine popup_windows.exe --seconds=$((seconds + 30)) "$@" 2>/dev/null &
  sleep 8
  pid=$(pgrep -x zorvex.exe | head -n 1)
  ticks() { awk "{print \$14 + \$15}" "/proc/$pid/stat"; }
  hz=$(getconf CLK_TCK)
  before=$(ticks)
  sleep "$seconds"
  after=$(ticks)
  peak=$(awk "/VmHWM/ {print \$2}" "/proc/$pid/status")
  awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v peak="$peak" "BEGIN {
    printf \"zorvex.exe over %d s with 100 windows: %.2f%% of one core, peak resident %.1f MiB\n\", s, 100 * t / hz / s, peak / 1024 }"
' _ "$scratch" "$seconds" "${windows[@]}"
