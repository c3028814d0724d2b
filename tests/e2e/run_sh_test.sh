#!/usr/bin/env bash
# The README's run command as a desktop user meets it: scripts/run.sh under
# Xvfb must bring up the phone window (not the console), the window registers
# with the demo server, a key 9 typed into it dials the echo extension, the
# echo call starts, and a picture of the screen is kept.
#
#   run_sh_test.sh SOURCE-DIR BINARY-DIR
#
# run.sh drives SOURCE-DIR/build, so the test runs only on that build (skipped
# with a message elsewhere), and when Xvfb, xdotool or ImageMagick's import
# is missing.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
binary_dir=$(cd "$2" && pwd)
say() { echo "run_sh_test: $*"; }
for tool in Xvfb xdotool import; do
  command -v $tool >/dev/null || { say "skipped: $tool is not installed"; exit 0; }
done
if [ "$binary_dir" != "$source_dir/build" ]; then
  say "skipped: scripts/run.sh uses $source_dir/build, this build is $binary_dir"
  exit 0
fi
[ -x "$binary_dir/src/ui/qt/vorpel" ] || { say "skipped: the Qt program is not built"; exit 0; }

work=$(mktemp -d)
log=$source_dir/build/run/callserver.log
pids=()
finish() {
  for p in "${pids[@]}"; do kill -- -"$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
# Waits up to $1 seconds for the command after it to succeed.
within() {
  local seconds=$1; shift
  for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
  say "gave up after ${seconds} s waiting for: $*"
  return 1
}

setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
within 20 test -s "$work/display"
export DISPLAY=:$(cat "$work/display")
export XDG_RUNTIME_DIR=$work
unset WAYLAND_DISPLAY
rm -f "$log"

setsid bash "$source_dir/scripts/run.sh" --trace >"$work/run.out" 2>&1 </dev/null &
pids+=($!)
within 60 xdotool search --onlyvisible --class vorpel >"$work/windows" || { cat "$work/run.out"; exit 1; }
window=$(tail -n 1 "$work/windows")
within 20 grep -q "row 0 'Extension 100'" "$log"
xdotool windowfocus --sync "$window"
xdotool key 9
within 20 grep -q "extension 100 pressed '9'" "$log"
# The terminal's voice reaches the server, which sends it back.
within 20 grep -q "^in .* rtp pt " "$log"
within 20 grep -q "^out .* rtp pt " "$log"
mkdir -p "$binary_dir/screenshots"
import -window root "$binary_dir/screenshots/run_sh_echo_call.png"
test -s "$binary_dir/screenshots/run_sh_echo_call.png"
say "phone window up, echo call started, screen in build/screenshots/run_sh_echo_call.png"
