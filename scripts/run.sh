#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the terminal and runs it on this
# terminal window: type commands on standard input (for example
#   settings address=192.0.2.10 account=4711 auth=4711 password=twelve-chars
# then key 1, press Yes, quit), read its display, lamps and buttons on
# standard output.
#
# Arguments are passed on to vorpel-console (--capture FILE, --playback FILE).
# On a machine without sound hardware the received audio goes to
# build/run/playback.raw (8000 Hz, mono, signed 16-bit) and the microphone is
# silent.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh >&2

cmake -S "$root" -B build -G Ninja -DVORPEL_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target vorpel-console vorpel-provision >&2

args=("$@")
if [ ${#args[@]} -eq 0 ] && ! compgen -G "/dev/snd/pcmC*" >/dev/null; then
  mkdir -p build/run
  echo "run.sh: no sound hardware; received audio goes to build/run/playback.raw" >&2
  args=(--playback build/run/playback.raw)
fi
exec build/src/ui/console/vorpel-console "${args[@]}"
