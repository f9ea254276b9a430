#!/usr/bin/env bash
# scripts/run.sh without a display and without set-up: upsctl monitor on the
# simulated module sees the scripted DC loss and return, runs its DC loss
# command, and the demo ends by itself.
# usage: run_headless_test.sh SOURCE_DIR BIN_DIR
set -euo pipefail
source_dir=$1
bin=$2

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp" XDG_CONFIG_HOME="$tmp/.config" \
    QXUPS_BIN_DIR="$bin" bash "$source_dir/scripts/run.sh" --no-setup >"$tmp/out" 2>&1 </dev/null ||
    status=$?
cat "$tmp/out"

fail=0
[ $status -eq 0 ] || { echo "FAIL: run.sh ended with $status"; fail=1; }
# policy=20 Sec.: the simulator has the product's register table, in which
# the policy mode is writable.
for line in '>>DC is broken.' '>>DC is connected.' 'the --on-dc-loss command ran once' \
    'policy=20 Sec.'; do
    grep -qF -- "$line" "$tmp/out" || { echo "FAIL: no \"$line\""; fail=1; }
done
[ "$(grep -c '>>on-dc-loss: command started' "$tmp/out")" -eq 1 ] ||
    { echo "FAIL: the DC loss command did not run exactly once"; fail=1; }
exit $fail
