#!/usr/bin/env bash
# Time from the decision to close the front tab of a three-tab browser window to the tab gone,
# reading the strip over MSAA from another process under Wine; median, fastest and slowest.
# Usage: bench/tab-close.sh   (after scripts/build win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec "$root/scripts/wine-session" bash -c 'cd "$1" && wine tab_close.exe 2>/dev/null' _ "$root/build/win32"
