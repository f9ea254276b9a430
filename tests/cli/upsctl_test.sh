#!/usr/bin/env bash
# upsctl against the simulator: each command's output and exit status.
#   upsctl_test.sh UPSCTL UPSSIM
set -u
upsctl=$1
upssim=$2
work=$(mktemp -d)
link="$work/line"
failures=0
passes=0

check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then
        passes=$((passes + 1))
    else
        echo "FAIL $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}

mkfifo "$work/in"
"$upssim" --pty "$link" --device-type 302 --hw 4 --fw 105 --quit-on-eof <"$work/in" >"$work/out" 2>"$work/err" &
sim=$!
exec 3>"$work/in"
cleanup() {
    exec 3>&-
    wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do
    grep -q '^ready ' "$work/out" 2>/dev/null && break
    sleep 0.05
done

export QXUPS_COM9=$link
run() { timeout 20 "$upsctl" --port 9 --timeout 300 "$@"; }

check "info" "device type 302
hardware version 4
firmware version 105
driver version 1000" "$(run info)"

out=$(run status)
check "status exit" 0 $?
check "status source" "Power supply:    DC" "$(grep '^Power supply' <<<"$out")"
check "status voltage" "Voltage input:   24000 mV" "$(grep '^Voltage input' <<<"$out")"

check "write" "" "$(run write 40040 11 22 33)"
check "read back" "40040 11
40041 22
40042 33" "$(run read 40040 3)"

run read 40999 >/dev/null 2>&1
check "exception exit status" 11 $?
run write 40000 1 >/dev/null 2>&1
check "read-only register" 11 $?

echo "scenario dc-loss" >&3
sleep 0.3
check "dc loss seen" "Power supply:    UPS" "$(run status | grep '^Power supply')"

echo "fault silent" >&3
sleep 0.3
run info >/dev/null 2>&1
check "silent module" 8 $?
echo "fault none" >&3
sleep 0.3

# The --device path form reaches the same line.
check "device path" "40041 22" "$(timeout 20 "$upsctl" --device "$link" read 40041)"

"$upsctl" read >/dev/null 2>&1
check "usage: missing address" 64 $?
for slave in 300 0; do
    "$upsctl" --slave $slave info >/dev/null 2>&1
    check "usage: slave $slave out of range" 64 $?
done
"$upsctl" read 40000 126 >/dev/null 2>&1
check "usage: count out of range" 64 $?
"$upsctl" frobnicate >/dev/null 2>&1
check "usage: unknown command" 64 $?
QXUPS_COM9= "$upsctl" --port 200 info >/dev/null 2>&1
check "no such port" 3 $?

echo "upsctl: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
