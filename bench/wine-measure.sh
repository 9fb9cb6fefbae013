# Shared by the measuring scripts, sourced inside a Wine session: CPU time of processes in clock
# ticks, and the Wine server of this session's prefix.
hz=$(getconf CLK_TCK)
# User and system time of a process so far, in ticks.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The server of this prefix; other prefixes may have servers of their own.
our_server() {
  local p
  for p in $(pgrep wineserver); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
  done
}
# The process of this prefix named $1 (as pgrep -x knows it); other sessions may run one of their own.
our_process() {
  local p
  for p in $(pgrep -x "$1"); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
  done
}
# Ticks as a share of one core over seconds.
share() { awk -v t="$1" -v hz="$hz" -v s="$2" 'BEGIN { printf "%.2f%%", 100 * t / hz / s }'; }
