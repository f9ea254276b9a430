#!/usr/bin/env bash
# Checks upssim against an independent Modbus RTU master (mbpoll, built on
# libmodbus): what mbpoll reads must agree with the simulator's own view of its
# registers ("get" on its control input), what mbpoll writes must land, and
# refused requests must come back as the right exceptions.
#
# usage: scripts/check_mbpoll.sh [PATH_TO_UPSSIM]   (default: build/bin/upssim)
# Exit status: 0 all agree, 1 a disagreement or failure, 77 mbpoll is missing (skip).
set -u

UPSSIM=${1:-build/bin/upssim}

if ! command -v mbpoll >/dev/null 2>&1; then
    echo "SKIP: mbpoll is not installed (Debian package mbpoll)"
    exit 77
fi
if [ ! -x "$UPSSIM" ]; then
    echo "FAIL: no simulator at $UPSSIM"
    exit 1
fi

work=$(mktemp -d /tmp/upssim-mbpoll-XXXXXX)
link=$work/line
failures=0

cleanup() {
    if [ -n "${sim_pid:-}" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# --quit-on-eof: should this script die, the simulator ends with its input pipe.
coproc SIM { exec "$UPSSIM" --pty "$link" --device-type 301 --hw 4 --fw 120 --quit-on-eof 2>"$work/stderr"; }
# bash forgets the coproc variables once it has reaped the process: keep copies.
sim_pid=$SIM_PID
sim_in=${SIM[1]}
sim_out=${SIM[0]}

if ! read -r -t 10 -u "$sim_out" ready || [ "${ready%% *}" != "ready" ]; then
    echo "FAIL: the simulator did not start"
    cat "$work/stderr"
    exit 1
fi
echo "simulator: $ready (link $link)"

# One control command, its one answer line on stdout.
ctl() {
    local answer
    echo "$*" >&"$sim_in"
    if ! read -r -t 10 -u "$sim_out" answer; then
        echo "FAIL: no answer to '$*'" >&2
        echo "<none>"
        return 1
    fi
    echo "$answer"
}

# Value of protocol address $1 as the simulator sees it.
sim_value() {
    local answer
    answer=$(ctl "get $1")
    echo "${answer#value }"
}

# mbpoll with the simulator's line settings; extra arguments follow.
poll() {
    timeout 20 mbpoll -m rtu -a 1 -b 115200 -P none -o 2 -1 "$@" 2>&1
}

# Prints "address value" pairs (protocol addresses, values unsigned) of an
# mbpoll holding register read with 1-based references.
parse_read() {
    sed -n 's/^\[\([0-9]\+\)\]:[[:space:]]*\(-\?[0-9]\+\).*/\1 \2/p' |
        while read -r ref value; do
            [ "$value" -lt 0 ] && value=$((value + 65536))
            echo "$((ref - 1)) $value"
        done
}

# Reads COUNT registers from protocol address START with mbpoll and compares
# each with the simulator's own value.
compare_block() {
    local start=$1 count=$2 out pairs n=0
    out=$(poll -t 4 -r $((start + 1)) -c "$count" "$link") || {
        fail "mbpoll read of $count registers at $start failed: $out"
        return
    }
    pairs=$(echo "$out" | parse_read)
    while read -r address value; do
        [ -z "$address" ] && continue
        n=$((n + 1))
        expected=$(sim_value "$address")
        [ "$value" = "$expected" ] || fail "register $address: mbpoll read $value, simulator has $expected"
    done <<<"$pairs"
    [ "$n" -eq "$count" ] || fail "mbpoll printed $n of $count values at $start"
}

# The status block with some values of our own in it.
[ "$(ctl set 16 12000)" = ok ] || fail "set 16"
[ "$(ctl set 45 65535)" = ok ] || fail "set 45"
compare_block 0 50
[ "$(sim_value 0)" = 301 ] || fail "device type is not 301"

# A scripted DC loss as mbpoll sees it: 27 power source = 2, 28 DC_OK = 0.
[ "$(ctl scenario dc-loss)" = ok ] || fail "scenario dc-loss"
out=$(poll -t 4 -r 28 -c 2 "$link" | parse_read | tr '\n' ' ')
[ "$out" = "27 2 28 0 " ] || fail "after dc-loss mbpoll read '$out'"
compare_block 10 30

# Write Multiple Registers (two values) from mbpoll, checked on the control side.
out=$(poll -t 4 -r 41 "$link" 4321 1234) || fail "mbpoll write failed: $out"
[ "$(sim_value 40)" = 4321 ] || fail "register 40 is $(sim_value 40) after mbpoll wrote 4321"
[ "$(sim_value 41)" = 1234 ] || fail "register 41 is $(sim_value 41) after mbpoll wrote 1234"

# Refusals: a single write is function 6 (illegal function); a write to the
# read-only identification and a read beyond the registers are illegal addresses.
out=$(poll -t 4 -r 43 "$link" 7)
echo "$out" | grep -qi "illegal function" || fail "function 6 was not refused with 01: $out"
[ "$(sim_value 42)" = 0 ] || fail "a refused write changed register 42"
out=$(poll -t 4 -r 1 "$link" 5 6)
echo "$out" | grep -qi "illegal data address" || fail "write to read-only registers: $out"
[ "$(sim_value 0)" = 301 ] || fail "a refused write changed the device type"
out=$(poll -t 4 -r 200 -c 2 "$link")
echo "$out" | grep -qi "illegal data address" || fail "read beyond the registers: $out"

stats=$(ctl stats)
echo "simulator: $stats"
case "$stats" in
stats\ requests=[1-9]*\ errors=0) ;;
*) fail "unexpected stats: $stats" ;;
esac

# A clean end removes the link.
kill -TERM "$sim_pid"
wait "$sim_pid" 2>/dev/null
status=$?
[ "$status" -eq 0 ] || fail "the simulator ended with status $status"
[ ! -e "$link" ] && [ ! -L "$link" ] || fail "the link is still there after SIGTERM"

if [ "$failures" -ne 0 ]; then
    echo "check_mbpoll: $failures disagreement(s)"
    exit 1
fi
echo "check_mbpoll: mbpoll and upssim agree"
exit 0
