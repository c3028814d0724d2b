#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the terminal and runs it.
#
#   scripts/run.sh [--console] [--trace] [FRONT-END OPTIONS...]
#       The demo: starts vorpel-callserver on 127.0.0.1 with the extensions 100
#       and 101 and the echo extension 9, registers the terminal as extension
#       100 and stops the server when the terminal ends. The demo keeps its own
#       settings store under build/run/config; your own settings are neither
#       read nor changed.
#   scripts/run.sh --server HOST --account ID --auth ID --password TEXT [...]
#       Writes that account into your own settings store (keeping its tag texts
#       and saved account slots) and runs the terminal against HOST.
#   scripts/run.sh --own-settings [...]
#       Runs the terminal with your own settings store as it stands.
#
# The front end is the Qt phone window when a display is available and it has
# been built, otherwise vorpel-console (commands on standard input, events on
# standard output). --console forces the console. Other options go to the front
# end (--capture FILE, --playback FILE). Without sound hardware the received
# audio goes to build/run/playback.raw and the microphone is silent.
# --trace makes the demo server log every frame to build/run/callserver.log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
run_dir=$root/build/run

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

mode=demo
force_console=0
trace=()
server="" account="" auth="" password=""
front_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --server|--account|--auth|--password)
      [ $# -ge 2 ] || { echo "run.sh: $1 needs a value" >&2; usage; }
      case $1 in
        --server) server=$2; mode=server ;;
        --account) account=$2 ;;
        --auth) auth=$2 ;;
        --password) password=$2 ;;
      esac
      shift 2 ;;
    --own-settings) mode=own; shift ;;
    --console) force_console=1; shift ;;
    --trace) trace=(--trace); shift ;;
    --help|-h) usage ;;
    *) front_args+=("$1"); shift ;;
  esac
done
if [ "$mode" = server ] && { [ -z "$account" ] || [ -z "$auth" ] || [ -z "$password" ]; }; then
  echo "run.sh: --server needs --account, --auth and --password (or use --own-settings)" >&2
  exit 2
fi
if [ "$mode" != server ] && [ -n "$account$auth$password" ]; then
  echo "run.sh: --account, --auth and --password go with --server" >&2
  exit 2
fi

bash scripts/install-deps.sh >&2

# A build tree that exists keeps its own options (cmake --build reconfigures it
# when the project's files change).
[ -f build/CMakeCache.txt ] || cmake -S "$root" -B build -G Ninja -DVORPEL_BUILD_BENCH=OFF >/dev/null
targets=(vorpel-console vorpel-provision vorpel-callserver)
front=console
# grep reads the whole list (no -q): one that stops at the first match lets
# cmake die of SIGPIPE, and under pipefail the check would fail.
if [ $force_console -eq 0 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] &&
   cmake --build build --target help | grep '^vorpel:' >/dev/null; then
  front=qt
  targets+=(vorpel)
fi
cmake --build build -j "$(nproc)" --target "${targets[@]}" >&2
mkdir -p "$run_dir"

if [ "$front" = qt ]; then
  program=build/src/ui/qt/vorpel
  app=vorpel
else
  program=build/src/ui/console/vorpel-console
  app=vorpel-console
fi
if [ ${#front_args[@]} -eq 0 ] && ! compgen -G "/dev/snd/pcmC*" >/dev/null; then
  echo "run.sh: no sound hardware; received audio goes to build/run/playback.raw" >&2
  front_args=(--playback "$run_dir/playback.raw")
fi
provision=build/tools/vorpel-provision/vorpel-provision

numeric_of() {  # prints HOST when it is a dotted IPv4 address
  if [[ $1 =~ ^[0-9]{1,3}(\.[0-9]{1,3}){3}$ ]]; then echo "$1"; fi
}

case $mode in
  server)
    numeric=$(numeric_of "$server")
    $provision --app "$app" --server "$server" ${numeric:+--numeric "$numeric"} \
      --account "$account" --auth "$auth" --password "$password" >&2
    exec "$program" "${front_args[@]}" ;;
  own)
    exec "$program" "${front_args[@]}" ;;
esac

# The demo. Extension, account id, auth id, password (at most 15 characters).
cat >"$run_dir/accounts.txt" <<'EOF'
# Demo accounts written by scripts/run.sh. Extension 9 is the echo test.
100 demo100 demo100 demo-pass-100
101 demo101 demo101 demo-pass-101
EOF
export XDG_CONFIG_HOME=$run_dir/config
$provision --app "$app" --server 127.0.0.1 --numeric 127.0.0.1 \
  --account demo100 --auth demo100 --password demo-pass-100 >/dev/null

log=$run_dir/callserver.log
build/tools/vorpel-callserver/vorpel-callserver --accounts "$run_dir/accounts.txt" \
  --listen 127.0.0.1 --echo 9 "${trace[@]}" </dev/null >"$log" 2>&1 &
server_pid=$!
stop_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
}
trap stop_server EXIT
# Wait (at most 5 s) until the server listens, or report why it could not.
for _ in $(seq 50); do
  grep -q 'signalling on' "$log" && break
  if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "run.sh: the demo call server did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.1
done
echo "run.sh: demo call server on 127.0.0.1 (log: build/run/callserver.log);" \
  "this terminal is extension 100; dial 9 for the echo test" >&2
status=0
"$program" "${front_args[@]}" || status=$?
exit $status
