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

# The simulator on a new pty behind $link, commands through fd 3.
start_sim() {
    rm -f "$work/in" "$work/out"
    mkfifo "$work/in"
    "$upssim" --pty "$link" --device-type 302 --hw 4 --fw 105 --quit-on-eof <"$work/in" \
        >"$work/out" 2>"$work/err" &
    sim=$!
    exec 3>"$work/in"
    for _ in $(seq 100); do
        grep -q '^ready ' "$work/out" 2>/dev/null && break
        sleep 0.05
    done
}
start_sim
cleanup() {
    exec 3>&-
    wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

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
check "status product" "Product:         DCU-2410" "$(grep '^Product' <<<"$out")"

# status --json: valid JSON with every field of the human output; a device
# type without voltage registers gives null voltages.
fields() {
    python3 -c 'import json, sys
d = json.load(sys.stdin)
print(sorted(d), sorted(d["do"].items()), sorted(d["di"].items()), d["device_type"],
      d["power_supply"], d["battery_status"], d["battery_charge"], d["voltage_input_mv"],
      d["voltage_output_mv"], d["policy_mode"], d["runtime_s"], d["product"])'
}
keys="['battery_charge', 'battery_status', 'critical_battery', 'device_type', 'di', 'do', 'low_battery', 'policy_mode', 'power_supply', 'product', 'runtime_s', 'voltage_input_mv', 'voltage_output_mv']"
check "status --json" "$keys [('bat_mode', False), ('bat_ready', True), ('dc_ok', True), ('sw', False)] \
[('bat_start', False), ('dev_psts', True), ('remote', False)] 302 DC Charging 80 24000 24000 PC None DCU-2410" \
    "$(run status --json | fields)"
echo "set 0 301" >&3
echo "set 35 5" >&3
sleep 0.3
check "status --json 301" "$keys [('bat_mode', False), ('bat_ready', True), ('dc_ok', True), ('sw', False)] \
[('bat_start', False), ('dev_psts', True), ('remote', False)] 301 DC Charging 80 None None ∞ Sec. None DCU-1205" \
    "$(run status --json | fields)"
echo "set 0 302" >&3
echo "set 35 0" >&3

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

# runtime_s on battery (null on DC above): at once from the rate the program
# learned (0.25 %/s: 80 % last 320 s), none from a history without one, and
# within 15 % of the truth (charge / 0.5 %/s) once --runtime-wait saw it fall.
runtime() {  # RATE: "ok", or what runtime_s and the charge were
    python3 -c 'import json, sys
d = json.load(sys.stdin); r = d["runtime_s"]; truth = d["battery_charge"] / float(sys.argv[1])
print("ok" if r is not None and abs(r - truth) <= 0.15 * truth else "%s for %s %%" % (r, d["battery_charge"]))' "$1"
}
python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE learned (name TEXT PRIMARY KEY, value REAL NOT NULL)")
db.execute("INSERT INTO learned VALUES (\"discharge_rate\", 0.25)")
db.commit()' "$work/history.sqlite"
check "runtime from the learned rate" ok "$(run status --json --history "$work/history.sqlite" | runtime 0.25)"
check "no learned rate" "0 None" "$(run status --json --history "$work/none.sqlite" 2>&1 |
    python3 -c 'import json, sys; print(0, json.load(sys.stdin)["runtime_s"])')"
echo "scenario charge -0.5" >&3
check "runtime after --runtime-wait" ok "$(run status --json --runtime-wait 15 | runtime 0.5)"
check "Time left" 1 "$(run status --runtime-wait 15 | grep -c '^Time left:  *[0-9]* min [0-9]* s$')"
echo "scenario charge 0" >&3
echo "set 26 80" >&3

echo "fault silent" >&3
sleep 0.3
run info >/dev/null 2>&1
check "silent module" 8 $?
echo "fault none" >&3
sleep 0.3

# The --device path form reaches the same line.
check "device path" "40041 22" "$(timeout 20 "$upsctl" --device "$link" read 40041)"

# Numbers are decimal or 0x hex; a leading zero is no octal prefix.
check "leading zeros and hex" "0
40040 10
40041 9
40042 31" "$(run write 40040 010 09 0x1F; echo $?; run read 0x9c68 3)"

# The product's table (DCU-2410) bounds a value: PolicyMode 0..9, BatReadyLevel
# 0..100; --force writes past the table, never past 16 bits.
err=$(run write 40035 42 2>&1)
check "range: refused" "64 40035 (PolicyMode) of the DCU-2410: 0..9" "$? $(grep -o '40035.*0\.\.9' <<<"$err")"
check "range: --force writes" "0 40042 150" "$(run write 40042 150 --force; echo $? $(run read 40042))"
err=$(run --force write 40040 1 70000 2>&1)
check "range: 70000 refused with --force" "64 0..65535 40040 10" \
    "$? $(grep -o '0\.\.65535' <<<"$err") $(run read 40040)"

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
run read 40040 --json >/dev/null 2>&1
check "usage: --json with another command" 64 $?
QXUPS_COM9= "$upsctl" --port 200 info >/dev/null 2>&1
check "no such port" 3 $?

# --config: a service's settings file is read as the options it names (a
# quoted value keeps its blanks); a bad line is named and nothing is sent.
printf '# the module\nport = 9\n timeout = "300"\nascii = no\n' >"$work/ok.conf"
check "config: status" "Device type:     302" \
    "$(timeout 20 "$upsctl" --config "$work/ok.conf" status | grep '^Device type')"
printf 'port = 9\nretries = 2\n' >"$work/bad.conf"
err=$(timeout 20 "$upsctl" --config "$work/bad.conf" status 2>&1)
check "config: unknown key" "64 bad.conf:2: unknown setting 'retries'" \
    "$? $(grep -o "bad.conf:2: unknown setting 'retries'" <<<"$err")"

# Addresses outside 40000..65535 are refused before anything is sent (35
# would otherwise reach another register).
for args in "write 35 1" "write 39999 1" "write 65536 1" "write 65535 1 2" "read 0" "read 65535 2"; do
    err=$(run $args 2>&1 >/dev/null)
    check "refused: $args" "64 out of range" "$? $(grep -o 'out of range' <<<"$err")"
done

# A port that cannot be opened is named by its path; denied access points at
# the dialout group (root ignores permissions, so that case runs as nobody).
err=$(QXUPS_COM9="$work/missing" "$upsctl" --port 9 info 2>&1)
check "missing port" "3 cannot open $work/missing (port 9): No such file or directory" \
    "$? $(grep -o 'cannot open .*directory' <<<"$err")"
chmod 711 "$work"
touch "$work/locked"
chmod 600 "$work/locked"
as_other=()
denied_upsctl=$upsctl
if [ "$(id -u)" -eq 0 ]; then
    as_other=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    # nobody may not reach the build tree (a clone in root's 0700 home): it
    # runs a copy of upsctl and the library its RUNPATH ($ORIGIN) finds.
    mkdir -m 755 "$work/bin"
    cp "$upsctl" "$(dirname "$upsctl")/libQXUPSSDK.so.1" "$work/bin/"
    chmod 755 "$work/bin/upsctl"
    chmod 644 "$work/bin/libQXUPSSDK.so.1"
    denied_upsctl=$work/bin/upsctl
fi
err=$(cd "$work" && "${as_other[@]}" "$denied_upsctl" --device "$work/locked" info 2>&1)
check "denied port" "3 $work/locked dialout" \
    "$? $(grep -o "$work/locked" <<<"$err" | head -1) $(grep -o dialout <<<"$err" | head -1)"

# monitor --on-dc-loss: the command runs once per DC loss and polling goes on
# while it runs. As in the program, DC already lost at start is reported but
# runs nothing; an edge while the command still runs starts nothing; stopping
# the monitor ends it. (A read timed out on a loaded machine is no edge.)
echo "fault none" >&3
sleep 0.3
mon="$work/monitor"
"$upsctl" --port 9 --timeout 300 monitor 50 --on-dc-loss "echo loss >>'$work/losses'; sleep 2.5" \
    >"$mon" &
monitor_pid=$!
sleep 1
for step in dc-return dc-loss dc-return dc-loss pause dc-return dc-loss; do
    if [ $step == pause ]; then sleep 1.5; else echo "scenario $step" >&3; fi
    sleep 0.6
done
# The last loss's command has started before the monitor is stopped (a loaded
# machine may need longer than the steps' pauses).
for _ in $(seq 100); do
    [ "$(grep -c 'on-dc-loss: command started' "$mon")" -ge 2 ] && break
    sleep 0.1
done
kill -TERM $monitor_pid
wait $monitor_pid
check "monitor exit" 0 $?
check "monitor edges" "DC is broken.
DC is connected.
DC is broken.
on-dc-loss: command started
DC is connected.
DC is broken.
on-dc-loss: not started, the command of the last edge still runs
on-dc-loss: command ended with status 0
DC is connected.
DC is broken.
on-dc-loss: command started
on-dc-loss: command ended as the monitor stopped" \
    "$(sed -n 's/^.*>>//; s/ (pid [0-9]*)$//; /^source=\|^Read error\|^Communication restored/!p' "$mon")"
check "command runs" "loss
loss" "$(cat "$work/losses")"

# --ride-through 10: a 2 s blip runs no hook and says so; an outage of 15 s
# runs it once, 10 s after the loss even with polls 3 s apart (the countdown
# runs between them). The runtime falls below --runtime-level 1 once (75 %
# at 1 %/s crosses 60 s after 15 s) and runs its hook once.
stamp() {  # stamp FILE PATTERN: seconds of the day of the last line matching
    grep "$2" "$1" | tail -1 | sed 's/^[0-9-]* \([0-9]*\):\([0-9]*\):\([0-9.]*\)>>.*/\1 \2 \3/' |
        awk '{ print $1 * 3600 + $2 * 60 + $3 }'
}
wait_for() {  # wait_for FILE PATTERN SECONDS
    for _ in $(seq $(($3 * 10))); do
        grep -q "$2" "$1" && return 0
        sleep 0.1
    done
    return 1
}
mon="$work/monitor-ride"
echo "scenario dc-return" >&3
sleep 0.3
"$upsctl" --port 9 --timeout 300 monitor 100 --ride-through 10 \
    --on-dc-loss "echo loss >>'$work/ride'" >"$mon" &
monitor_pid=$!
wait_for "$mon" "DC is connected" 10
for step in dc-loss dc-return; do
    echo "scenario $step" >&3
    sleep 2
done
kill -TERM $monitor_pid
wait $monitor_pid
check "ride-through: a blip" "DC is broken.
on-dc-loss: command runs in 10 s unless the DC returns (ride-through)
DC is connected.
DC back after N s: the on-dc-loss command was not run." \
    "$(sed -n 's/^.*>>//; /^source=/d; s/after [0-9]* s/after N s/; p' "$mon" | tail -n +2)"
mon="$work/monitor-outage"
echo "set 26 75" >&3
"$upsctl" --port 9 --timeout 300 monitor 3000 --ride-through 10 --on-dc-loss "echo loss >>'$work/ride'" \
    --runtime-level 1 --on-low-runtime "echo runtime >>'$work/ride'" >"$mon" &
monitor_pid=$!
wait_for "$mon" "DC is connected" 10
echo "scenario dc-loss" >&3
echo "scenario charge -1" >&3
wait_for "$mon" "Runtime low" 30
sleep 4
echo "scenario dc-return" >&3
echo "scenario charge 0" >&3
kill -TERM $monitor_pid
wait $monitor_pid
delay=$(awk -v a="$(stamp "$mon" 'DC is broken')" -v b="$(stamp "$mon" 'on-dc-loss: command started')" \
    'BEGIN { print (b - a >= 9.5 && b - a <= 11.5) ? "ok" : b - a }')
check "ride-through: the hook 10 s after the loss" ok "$delay"
check "ride-through and runtime hooks once each" "loss runtime" "$(sort "$work/ride" | tr '\n' ' ' | sed 's/ $//')"
left=$(sed -n 's/.*Runtime low: \([0-9]*\) s left (runtime level 1 min)\.$/\1/p' "$mon")
check "runtime low at the crossing ($left s)" 1 "$([ -n "$left" ] && [ "$left" -ge 40 ] && [ "$left" -lt 60 ] && echo 1)"
check "runtime_s in the status lines" "unknown number" "$(grep -o 'source=DC .* runtime_s=unknown$' "$mon" |
    head -1 | sed 's/.*=//') $(grep -qE 'source=UPS .* runtime_s=[0-9]+$' "$mon" && echo number)"
echo "set 26 80" >&3

# A lost line: the simulator killed (an unplugged adapter) is found lost
# once, and a new one on the same link is found again without help; a DC loss
# made while the line was down is an edge once back. Read errors collapse.
mon="$work/monitor-lost"
echo "scenario dc-return" >&3
sleep 0.3
"$upsctl" --port 9 --timeout 1000 monitor 100 --on-dc-loss "echo loss >>'$work/losses-after'" \
    --on-comm-lost "echo lost >>'$work/comm'" --on-comm-ok "echo ok >>'$work/comm'" >"$mon" &
monitor_pid=$!
wait_for "$mon" "DC is connected" 10
exec 3>&-
kill -KILL "$sim"
rm -f "$link"  # no dangling link that could name another test's pty
wait "$sim" 2>/dev/null
wait_for "$mon" "Communication with the module lost" 30
check "line lost" 0 $?
sleep 3  # attempts at 1 s and 2 s: no line each
start_sim
echo "scenario dc-loss" >&3
wait_for "$mon" "Communication restored" 60
check "line restored" 0 $?
wait_for "$mon" "DC is broken" 10
sleep 0.5
kill -TERM $monitor_pid
wait $monitor_pid
check "monitor exit after a lost line" 0 $?
check "monitor lost and restored" "DC is connected.
Read error
Communication with the module lost
Communication restored after
DC is broken." \
    "$(sed -n 's/^.*>>//; /^source=\|^on-/d; s/^\(Read error\|Communication [a-z ]*\(lost\|after\)\).*/\1/; p' "$mon")"
check "comm hooks" "lost
ok" "$(cat "$work/comm")"
check "dc loss hook after the line came back" "loss" "$(cat "$work/losses-after")"

# While idle the monitor sleeps until its next poll: fewer than 5 wake-ups a
# second for the whole process (all threads).
"$upsctl" --port 9 --timeout 300 monitor 60000 >/dev/null &
monitor_pid=$!
switches() {
    cat /proc/$monitor_pid/task/*/status 2>/dev/null |
        awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'
}
sleep 1
before=$(switches)
sleep 4
after=$(switches)
# The port it holds is named as in use by another program.
err=$(run status 2>&1)
check "port in use" "3 in use by another program" "$? $(grep -o 'in use by another program' <<<"$err")"
kill -TERM $monitor_pid
wait $monitor_pid
rate=$(((after - before) / 4))
# ThreadSanitizer's runtime adds a thread of its own that wakes every 100 ms.
limit=5
if ldd "$upsctl" | grep -q libtsan; then limit=15; fi
check "idle wake-ups under $limit a second (got $rate)" 1 $((rate < limit))

# A hang-up ends the monitor as SIGTERM does: its running hook is ended too,
# not left behind.
gone() { for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
rm -f "$work/hookpid"
echo "scenario dc-return" >&3
sleep 0.3
hook="echo \$\$ >'$work/hookpid.tmp'; mv '$work/hookpid.tmp' '$work/hookpid'; exec sleep 300"
"$upsctl" --port 9 --timeout 300 monitor 50 --on-dc-loss "$hook" >/dev/null &
monitor_pid=$!
sleep 1
echo "scenario dc-loss" >&3
for _ in $(seq 100); do [ -s "$work/hookpid" ] && break; sleep 0.05; done
hook_pid=$(cat "$work/hookpid" 2>/dev/null)
kill -HUP $monitor_pid
check "monitor ends at a hang-up" 1 "$(gone $monitor_pid && echo 1)"
check "hook ended at a hang-up" 1 "$([ -n "$hook_pid" ] && gone "$hook_pid" && echo 1)"
kill -9 $monitor_pid "$hook_pid" 2>/dev/null
wait $monitor_pid 2>/dev/null

# So does an output nobody reads any more (a pipe to `head`): the reader goes
# once the hook runs, and the next line the monitor writes fails.
rm -f "$work/hookpid" "$work/outpipe"
echo "scenario dc-return" >&3
sleep 0.3
mkfifo "$work/outpipe"
cat "$work/outpipe" >/dev/null &
reader_pid=$!
"$upsctl" --port 9 --timeout 300 monitor 50 --on-dc-loss "$hook" >"$work/outpipe" &
monitor_pid=$!
sleep 1
echo "scenario dc-loss" >&3
for _ in $(seq 100); do [ -s "$work/hookpid" ] && break; sleep 0.05; done
hook_pid=$(cat "$work/hookpid" 2>/dev/null)
kill $reader_pid
wait $reader_pid 2>/dev/null
echo "scenario dc-return" >&3
check "monitor ends when its output is closed" 1 "$(gone $monitor_pid && echo 1)"
check "hook ended when the output closed" 1 "$([ -n "$hook_pid" ] && gone "$hook_pid" && echo 1)"
kill -9 $monitor_pid "$hook_pid" 2>/dev/null
wait $monitor_pid 2>/dev/null

# The low-battery levels: reached on battery at or below the level (status
# --json tells, with the default levels or given ones); the monitor's hooks run
# once per discharge for each level, and again after DC came back and went.
levels() { python3 -c 'import json, sys; d = json.load(sys.stdin); print(d["low_battery"], d["critical_battery"])'; }
echo "scenario dc-return" >&3
echo "set 26 20" >&3
sleep 0.3
check "levels on DC" "False False" "$(run status --json | levels)"
echo "scenario dc-loss" >&3
echo "set 26 21" >&3
sleep 0.3
check "levels above" "False False" "$(run status --json | levels)"
check "levels given" "True False" "$(run status --json --warn-level 21 | levels)"
check "levels off" "False False" "$(run status --json --warn-level 0 | levels)"
echo "set 26 5" >&3
sleep 0.3
check "levels at 5" "True True" "$(run status --json | levels)"
echo "set 26 30" >&3
sleep 0.3
lowmon="$work/lowmon"
"$upsctl" --port 9 --timeout 300 monitor 50 --on-low-battery "echo low >>'$work/low'" \
    --on-critical-battery "echo critical >>'$work/low'" >"$lowmon" &
monitor_pid=$!
sleep 0.8
for step in "set 26 20" "set 26 12" "set 26 5" "set 26 2" "scenario dc-return" "scenario dc-loss"; do
    echo "$step" >&3
    sleep 0.6
done
kill -TERM $monitor_pid
wait $monitor_pid
# (The order in which two commands started together end is not fixed: the
# ends are counted apart.)
check "monitor levels" "DC is broken.
Battery low: 20 % (warning level 20 %).
on-low-battery: command started
Battery critical: 5 % (critical level 5 %).
on-critical-battery: command started
DC is connected.
DC is broken.
Battery low: 2 % (warning level 20 %).
on-low-battery: command started
Battery critical: 2 % (critical level 5 %).
on-critical-battery: command started" \
    "$(sed -n 's/^.*>>//; s/ (pid [0-9]*)$//; /^source=/d; /ended with status 0$/!p' "$lowmon")"
check "monitor level commands ended" 4 "$(grep -c 'command ended with status 0$' "$lowmon")"
# (Two commands started by one reading write in no fixed order.)
check "level hooks" "critical
critical
low
low" "$(sort "$work/low")"
echo "scenario dc-return" >&3
echo "set 26 80" >&3

# A device type the product table does not list is named as unknown.
echo "set 0 777" >&3
sleep 0.3
check "status product unknown" "Product:         unknown None" \
    "$(run status | grep '^Product') $(run status --json | python3 -c 'import json, sys; print(json.load(sys.stdin)["product"])')"
echo "set 0 302" >&3

# history: local time with its offset by default (as the program shows it),
# UTC with a Z for scripts; east, west and half-hour offsets.
t=$(( $(date +%s) - 3600 ))
python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE samples (t INTEGER PRIMARY KEY, charge INTEGER NOT NULL, vin INTEGER, vout INTEGER, source INTEGER NOT NULL, battery INTEGER NOT NULL, do_bits INTEGER NOT NULL, di_bits INTEGER NOT NULL, runtime INTEGER)")
db.execute("CREATE TABLE events (id INTEGER PRIMARY KEY, t INTEGER NOT NULL, kind TEXT NOT NULL, text TEXT NOT NULL)")
db.execute("INSERT INTO events VALUES (1, ?, \"dc-lost\", \"DC is broken.\")", (int(sys.argv[2]) * 1000 + 123,))
db.execute("PRAGMA user_version = 2")
db.commit()' "$work/times.sqlite" "$t"
for tz in IST-5:30 EST5 UTC0; do
    check "history local $tz" "$(TZ=$tz date -d @"$t" +%Y-%m-%dT%H:%M:%S.123%:z)" \
        "$(TZ=$tz "$upsctl" history --db "$work/times.sqlite" --events | awk 'NR == 2 {print $1}')"
done
check "history --utc" "$(date -u -d @"$t" +%Y-%m-%dT%H:%M:%S.123Z)" \
    "$(TZ=IST-5:30 "$upsctl" history --db "$work/times.sqlite" --events --utc | awk 'NR == 2 {print $1}')"
check "history --csv stays UTC" "$(date -u -d @"$t" +%Y-%m-%dT%H:%M:%S.123Z),dc-lost,DC is broken." \
    "$(TZ=EST5 "$upsctl" history --db "$work/times.sqlite" --events --csv | sed -n '2s/\r$//p')"

# As the README has it, pasted into an interactive shell: a simulator in the
# background keeps serving instead of being stopped for reading the terminal.
if command -v script >/dev/null; then
    bylink="$work/byhand"
    out=$(timeout 30 script -qec "bash -c 'set -m; $upssim --pty $bylink >/dev/null & sleep 1; \
QXUPS_COM9=$bylink timeout 10 $upsctl --port 9 status | head -1; kill %1'" /dev/null 2>&1 | tr -d '\r')
    check "simulator in the background" "Device type:     302" "$out"
fi

echo "upsctl: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
