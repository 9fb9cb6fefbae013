#!/usr/bin/env bash
# How long popups stay on screen under zorvex.exe: 20 fitting popups opened 300 ms apart under Wine,
# median and slowest time from creation to close.
# Usage: bench/popup-latency.sh   (after scripts/build win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec "$root/scripts/wine-session" bash -c 'cd "$1" && wine popup_latency.exe 2>/dev/null' _ "$root/build/win32"
