#!/usr/bin/env bash
# Whole-program test of the Debian package, run by scripts/test.sh after it has
# made the package:
#
#   tests/package/install_test.sh BUILD-DIR
#
# Installs BUILD-DIR/vorpel_*.deb with apt-get, checks that the four programs
# are on the PATH and have their manual pages, runs the two-terminal call and
# the journey test (tests/e2e) with the installed vorpel-console,
# vorpel-provision and vorpel-callserver (failing when either did not run),
# and purges the package
# again, with whatever it pulled in.
# Skipped, with a message, when not run as root or when vorpel is already
# installed (it is left alone then).
set -euo pipefail
build=$(cd "${1:?usage: install_test.sh BUILD-DIR}" && pwd)
say() { echo "install_test: $*"; }

if [ "$(id -u)" -ne 0 ]; then
  say "skipped: installing a package needs root"
  exit 0
fi
debs=("$build"/vorpel_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  say "expected one vorpel_*.deb in $build (make it with cpack -G DEB there)"
  exit 1
fi
excluded=$(grep -rsH '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/ || true)
if [ -n "$excluded" ]; then
  say "dpkg on this machine leaves out every manual page, so 'man vorpel' cannot work:"
  say "$excluded"
  say "remove that line (and reinstall man-db) to run this test"
  exit 1
fi

# One run at a time on the machine: the package is installed system-wide.
exec 9>/run/lock/vorpel-install-test.lock
flock 9
if [ "$(dpkg-query -W -f='${Status}' vorpel 2>/dev/null)" = "install ok installed" ]; then
  say "skipped: vorpel is already installed on this machine"
  exit 0
fi
apt() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"; }
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ {print $2}' | sort; }
before=$(installed)
remove() {
  local added
  mapfile -t added < <(comm -13 <(echo "$before") <(installed))
  [ ${#added[@]} -eq 0 ] || apt purge "${added[@]}" >/dev/null
}
trap remove EXIT
apt install "${debs[0]}" >/dev/null

for program in vorpel vorpel-console vorpel-provision vorpel-callserver; do
  command -v "$program" >/dev/null || { say "$program is not on the PATH"; exit 1; }
  man -w "$program" >/dev/null || { say "no manual page for $program"; exit 1; }
done
page=$(env MANPAGER=cat man vorpel 2>&1) || true
[[ $page == *"vorpel - soft IP telephone terminal for the desktop"* ]] ||
  { say "'man vorpel' does not show the page:"; echo "$page"; exit 1; }

# The whole call and the journey (registration, restart, lost link) with the
# installed programs; each must run, not just pass.
installed=$(dirname "$(command -v vorpel-console)")
for test in call_server_tests:CallTest journeys_tests:Journeys; do
  ran=$(VORPEL_TEST_PROGRAM_DIR=$installed \
    timeout 300 "$build/tests/e2e/${test%%:*}" --gtest_filter="${test#*:}.*" --gtest_brief=1 2>&1) ||
    { echo "$ran"; say "${test#*:} through the installed programs failed"; exit 1; }
  [[ $ran == *"[  PASSED  ] 1 test"* ]] || { echo "$ran"; say "no ${test#*:} test ran"; exit 1; }
done
say "passed: installed, on the PATH, manual pages shown, a call, a restart and a lost link through the installed programs"
