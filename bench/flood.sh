#!/usr/bin/env bash
# zorvex.exe under a flood of windows: a program makes 200 windows a second for 10 seconds; the CPU
# the program (and Wine's server) spends during the flood and in the 10 seconds after it.
# Usage: bench/flood.sh   (after scripts/build win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root"/build/win32/{zorvex,popup_windows}.exe "$root/bench/wine-measure.sh" "$scratch/"
"$root/scripts/wine-session" bash -c '
  cd "$1"
  . ./wine-measure.sh
  wine zorvex.exe 2>/dev/null &
  sleep 8
  pid=$(our_process zorvex.exe)
  server=$(our_server)
  a=$(ticks "$pid"); sa=$(ticks "$server")
  wine popup_windows.exe --flood=200 --seconds=10 2>/dev/null &
  sleep 10
  b=$(ticks "$pid"); sb=$(ticks "$server")
  sleep 10
  c=$(ticks "$pid"); sc=$(ticks "$server")
  echo "during the flood: zorvex.exe $(share $((b - a)) 10) of one core (Wine server $(share $((sb - sa)) 10), the flood included)"
  echo "after the flood:  zorvex.exe $(share $((c - b)) 10) of one core (Wine server $(share $((sc - sb)) 10))"
' _ "$scratch"
