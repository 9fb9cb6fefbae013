#!/usr/bin/env bash
# zorvex.exe under a flood of windows: a program makes 200 windows a second for 10 seconds; the CPU
# the program (and Wine's server) spends during the flood and in the 10 seconds after it.
# Usage: bench/flood.sh   (after scripts/build win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root"/build/win32/{zorvex,popup_windows}.exe "$scratch/"
"$root/scripts/wine-session" bash -c '
  cd "$1"
  hz=$(getconf CLK_TCK)
  ticks() { awk "{print \$14 + \$15}" "/proc/$1/stat"; }
  # The server of this prefix; other prefixes may have servers of their own.
  our_server() {
    local p
    for p in $(pgrep wineserver); do
      tr "\0" "\n" <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
    done
  }
  share() { awk -v t="$1" -v hz="$hz" "BEGIN { printf \"%.2f%%\", 100 * t / hz / 10 }"; }
  wine zorvex.exe 2>/dev/null &
  sleep 8
  pid=$(pgrep -x zorvex.exe | head -n 1)
  server=$(our_server)
  a=$(ticks "$pid"); sa=$(ticks "$server")
  wine popup_windows.exe --flood=200 --seconds=10 2>/dev/null &
  sleep 10
  b=$(ticks "$pid"); sb=$(ticks "$server")
  sleep 10
  c=$(ticks "$pid"); sc=$(ticks "$server")
  echo "during the flood: zorvex.exe $(share $((b - a))) of one core (Wine server $(share $((sb - sa))), the flood included)"
  echo "after the flood:  zorvex.exe $(share $((c - b))) of one core (Wine server $(share $((sc - sb))))"
' _ "$scratch"
