#!/usr/bin/env bash
# The driver with the real Network UPS Tools: upssim on a pseudo terminal,
# qxups-nut started by upsdrvctl, upsd on 127.0.0.1 on a free port, upsc,
# upsrw and upsmon against it, all from a private NUT_CONFPATH/NUT_STATEPATH;
# a planted link in the state folder, a second start, a module swapped on the
# line, a line only root may open, and a driver out of descriptors.
#   nut_test.sh BIN_DIR        (exit 77 when NUT is not installed)
set -u
bin=$(cd "$1" && pwd)
. "$(dirname "$0")/nut_setup.sh"

poll=2  # the driver's poll interval, s
upsd_pid=""
upsmon_pid=""
cleanup() {
    timeout 10 "$upsdrvctl" stop >/dev/null 2>&1
    [ -f "$state/qxups-nut-dcups.pid" ] && kill "$(cat "$state/qxups-nut-dcups.pid")" 2>/dev/null
    [ -n "$upsmon_pid" ] && kill "$upsmon_pid" 2>/dev/null
    [ -f "$state/upsmon.pid" ] && kill "$(cat "$state/upsmon.pid")" 2>/dev/null
    [ -n "$upsd_pid" ] && kill "$upsd_pid" 2>/dev/null
    stop_sim
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# drv_dump SOCKET: what the driver answers to DUMPALL on its socket (upsd
# shows nothing of a stale driver).
drv_dump() {
    python3 - "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.settimeout(10)
s.connect(sys.argv[1])
s.sendall(b"DUMPALL\n")
data = b""
while not data.endswith(b"DUMPDONE\n"):
    chunk = s.recv(65536)
    if not chunk:
        break
    data += chunk
print(data.decode(errors="replace"), end="")
PY
}
reason_is_permission() {
    drv_dump "$state/qxups-nut-dcups" |
        grep -q '^SETINFO experimental.comm.error "permission denied on /dev/pts/.*: the driver runs as nut"'
}

ups="dcups@127.0.0.1:$port"

cat >"$conf/ups.conf" <<EOF
driverpath = $drv
[dcups]
    driver = qxups-nut
    port = $work/line
    pollinterval = $poll
    desc = "DC UPS module under test"
[flood]
    driver = qxups-nut
    port = $work/none
EOF
cat >"$conf/upsd.conf" <<EOF
LISTEN 127.0.0.1 $port
EOF
cat >"$conf/upsd.users" <<EOF
[admin]
    password = "secret"
    actions = SET FSD
    instcmds = ALL
    upsmon primary
EOF
cat >"$conf/upsmon.conf" <<EOF
RUN_AS_USER $runas
MONITOR dcups@127.0.0.1:$port 1 admin "secret" primary
MINSUPPLIES 1
SHUTDOWNCMD "/bin/sh -c 'echo shutdown >> $work/shutdown.marker'"
POWERDOWNFLAG $work/powerdown.flag
FINALDELAY 0
POLLFREQ 1
POLLFREQALERT 1
HOSTSYNC 5
DEADTIME 15
EOF
for event in ONLINE ONBATT LOWBATT FSD COMMOK COMMBAD SHUTDOWN REPLBATT NOCOMM NOPARENT; do
    echo "NOTIFYFLAG $event SYSLOG" >>"$conf/upsmon.conf"
done
conf_done

# A link planted by the nut account in the state folder is replaced, never
# written through (nor handed to nut).
echo "victim" >"$work/victim"
chmod 600 "$work/victim"
victim_before="$(stat -c %U "$work/victim") victim"
ln -s "$work/victim" "$state/qxups-nut-dcups.pid"

# The module is absent when the driver starts: it serves stale data and keeps
# trying to reach it.
if ! timeout 20 "$upsdrvctl" start dcups >"$work/upsdrvctl.log" 2>&1; then
    echo "FAIL upsdrvctl start:"
    cat "$work/upsdrvctl.log"
    exit 1
fi
check "driver pid file" 1 "$([ -s "$state/qxups-nut-dcups.pid" ] && [ ! -L "$state/qxups-nut-dcups.pid" ] && echo 1)"
check "planted link not followed" "$victim_before" "$(stat -c %U "$work/victim") $(cat "$work/victim")"
"$upsd" -F >"$work/upsd.log" 2>&1 &
upsd_pid=$!

var() { timeout 10 upsc "$ups" "$1" 2>/dev/null; }
status_is() { [ "$(var ups.status)" == "$1" ]; }
stale() { timeout 10 upsc "$ups" ups.status 2>&1 | grep -q 'Data stale'; }

wait_for "stale at start" 30 stale
start_sim

wait_for "online" 30 status_is "OL CHRG"
check "charge" 80 "$(var battery.charge)"
check "input volts" 24.0 "$(var input.voltage)"
check "model" DCU-2410 "$(var ups.model)"
check "charger" charging "$(var battery.charger.status)"
check "low default" 20 "$(var battery.charge.low)"
check "policy mode writable" "Type: RANGE NUMBER" \
    "$(timeout 10 upsrw "$ups" 2>/dev/null | grep -A3 '^\[experimental.policy.mode\]' | grep -o 'Type: .*' | head -1 | tr -s ' ')"

# A second driver for the same UPS leaves the running one its socket and pid file.
first_pid=$(cat "$state/qxups-nut-dcups.pid")
timeout 20 "$drv/qxups-nut" -a dcups >"$work/second.log" 2>&1
check "second start refused" 1 "$?"
check "second start says why" 1 "$(grep -c 'already running' "$work/second.log")"
check "pid file kept" "$first_pid" "$(cat "$state/qxups-nut-dcups.pid")"

"$upsmon" -F >"$work/upsmon.log" 2>&1 &
upsmon_pid=$!
sleep 2

echo "scenario dc-loss" >&3
start=$SECONDS
wait_for "on battery" $((2 * poll + 2)) status_is "OB DISCHRG"
check "no shutdown before low battery" 0 "$(cat "$work/shutdown.marker" 2>/dev/null | wc -l)"

echo "set 26 15" >&3
wait_for "low battery" $((2 * poll + 2)) sh -c "timeout 10 upsc '$ups' ups.status 2>&1 | grep -q 'OB DISCHRG LB'"
wait_for "shutdown command" 30 test -s "$work/shutdown.marker"
sleep 3
check "shutdown once" 1 "$(wc -l <"$work/shutdown.marker")"
check "power down flag" 1 "$([ -f "$work/powerdown.flag" ] && echo 1)"

stop_sim
wait_for "stale" 30 stale
if [ "$runas" == nut ]; then
    # Restarted on a terminal only root may open: the driver, now nut, says why.
    start_sim private
    wait_for "reason of the failed open" 40 reason_is_permission
    chmod 666 "$(readlink -f "$work/line")"
else
    start_sim
fi
wait_for "live again" 60 sh -c "timeout 10 upsc '$ups' ups.status 2>&1 | grep -q 'OL CHRG'"

out=$(timeout 10 upsrw -s experimental.register.40040=7 -u admin -p secret "$ups" 2>&1 | grep -v "^Init SSL")
check "upsrw" "OK" "$out"
wait_for "register written" 10 sim_says "get 40" "value 7"
out=$(timeout 10 upsrw -s experimental.register.0040040=8 -u admin -p secret "$ups" 2>&1 | grep -v "^Init SSL")
check "only the published name is written" 1 "$([ "$out" != OK ] && sim_says "get 40" "value 7" && echo 1)"
check "reason gone once open" 0 "$(drv_dump "$state/qxups-nut-dcups" | grep -c comm.error)"

# Another product on the same line: the old product's registers go.
echo "set 0 301" >&3
model_is() { [ "$(var ups.model)" == "$1" ]; }
wait_for "new product" 30 model_is DCU-1205
check "old product's register gone" "" "$(var experimental.register.40048)"
check "shared register kept" 7 "$(var experimental.register.40040)"

# Words 27 and 28 disagreeing: on battery is DC_OK (28) alone, in the driver as
# in upsctl; 27 only gives the charger state. upsctl reads the line itself, so
# the driver is stopped first (two masters on one line would interleave).
# upsd keeps the FSD of the shutdown above in front.
after_fsd_is() { [ "$(var ups.status)" == "FSD $1" ]; }
echo "set 26 3" >&3
echo "set 27 1" >&3
echo "set 28 0" >&3
wait_for "28 off, 27 on DC" 30 after_fsd_is "OB CHRG LB"
# A low-battery level of 0 is off, even at 0 %.
echo "set 26 0" >&3
charge_is() { [ "$(var battery.charge)" == "$1" ]; }
wait_for "charge 0" 30 charge_is 0
timeout 10 upsrw -s battery.charge.low=0 -u admin -p secret "$ups" >/dev/null 2>&1
wait_for "low battery level 0 is off" 30 after_fsd_is "OB CHRG"
echo "set 26 3" >&3
echo "set 27 2" >&3
echo "set 28 1" >&3
wait_for "28 on, 27 on battery" 30 after_fsd_is "OL DISCHRG"

# battery.runtime: none on DC; on battery the time left the charge's fall
# gives, within 15 % of the truth (charge / 0.5 %/s) and of what upsctl
# status --json says after the driver; LB (the charge level is off here)
# once battery.runtime.low is above it; a level that is no number refused.
check "no runtime on DC" "" "$(var battery.runtime)"
check "runtime.low default" 180 "$(var battery.runtime.low)"
setvar() { timeout 15 upsrw "$@" -u admin -p secret "$ups" 2>&1 | grep -v "^Init SSL"; }
check "runtime.low set" OK "$(setvar -s battery.runtime.low=30)"
echo "set 26 80" >&3
echo "scenario dc-loss" >&3
echo "scenario charge -0.5" >&3
runtime_known() { var battery.runtime | grep -q '^[0-9]'; }
wait_for "runtime on battery" 30 runtime_known
within() {  # within RUNTIME TRUTH: "ok", or both
    python3 -c 'import sys; r, t = float(sys.argv[1]), float(sys.argv[2])
print("ok" if abs(r - t) <= 0.15 * t else "%s s for %s s" % (r, t))' "$@"
}
dump=$(timeout 10 upsc "$ups" 2>/dev/null)
runtime1=$(sed -n 's/^battery.runtime: //p' <<<"$dump")
taken1=$(date +%s.%N)
check "runtime against the truth" ok "$(within "$runtime1" \
    "$(sed -n 's/^battery.charge: //p' <<<"$dump" | awk '{ print $1 / 0.5 }')")"
check "no LB above runtime.low" "FSD OB DISCHRG" "$(var ups.status)"
# (upsd itself refuses a number out of the published range; the driver what
# is no number, as its tracked answer.)
check "runtime.low refused" "ERR INVALID-ARGUMENT ERR INVALID-VALUE" \
    "$(setvar -w -s battery.runtime.low=soon | grep -o 'ERR INVALID-[A-Z]*') \
$(setvar -s battery.runtime.low=99999 | grep -o 'ERR INVALID-[A-Z]*')"
check "runtime.low raised" OK "$(setvar -s battery.runtime.low=3000)"
wait_for "LB below runtime.low" 10 after_fsd_is "OB DISCHRG LB"
timeout 20 "$upsdrvctl" stop dcups >/dev/null 2>&1
json=$(timeout 30 "$bin/upsctl" --device "$work/line" status --json --runtime-wait 15 2>/dev/null)
taken2=$(date +%s.%N)
check "upsctl against the truth" ok "$(within "$(python3 -c 'import json, sys; print(json.load(sys.stdin)["runtime_s"])' <<<"$json")" \
    "$(python3 -c 'import json, sys; print(json.load(sys.stdin)["battery_charge"] / 0.5)' <<<"$json")")"
check "upsctl against the driver" ok "$(within "$(python3 -c 'import json, sys; print(json.load(sys.stdin)["runtime_s"])' <<<"$json")" \
    "$(awk -v r="$runtime1" -v a="$taken1" -v b="$taken2" 'BEGIN { print r - (b - a) }')")"
echo "scenario charge 0" >&3
echo "set 26 3" >&3
echo "set 27 2" >&3
echo "set 28 1" >&3
upsctl_flags() {  # "DC_OK LOW_BATTERY" as upsctl status --json reads them
    timeout 20 "$bin/upsctl" --device "$work/line" status --json 2>/dev/null |
        python3 -c 'import json, sys; s = json.load(sys.stdin); print(str(s["do"]["dc_ok"]).lower(), str(s["low_battery"]).lower())'
}
check "upsctl: 28 on, 27 on battery" "true false" "$(upsctl_flags)"
echo "set 27 1" >&3
sim_says "set 28 0" ok
check "upsctl: 28 off, 27 on DC" "false true" "$(upsctl_flags)"

# Out of descriptors with idle clients, the driver neither spins nor leaves a
# fresh client unanswered; refusals and the failed open are told once.
(
    ulimit -n 64
    exec "$drv/qxups-nut" -a flood -F
) 2>"$work/flood.err" &
flood=$!
wait_for "flood driver" 10 test -S "$state/qxups-nut-flood"
out=$(python3 - "$state/qxups-nut-flood" "$flood" <<'PY'
import os, socket, sys, time
path, pid = sys.argv[1], sys.argv[2]
idle = []  # more than the driver has descriptors for
deadline = time.monotonic() + 5
while len(idle) < 100 and time.monotonic() < deadline:
    s = socket.socket(socket.AF_UNIX)
    try:
        s.setblocking(False)
        s.connect(path)
        idle.append(s)
    except BlockingIOError:  # its queue is full
        s.close()
        time.sleep(0.01)
def cpu():
    fields = open("/proc/%s/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
c0, t0 = cpu(), time.monotonic()
time.sleep(3)
c1, t1 = cpu(), time.monotonic()
data = b""
for _ in range(50):
    try:
        fresh = socket.socket(socket.AF_UNIX)
        fresh.settimeout(10)
        fresh.connect(path)
        fresh.sendall(b"PING\nINSTCMD a\nINSTCMD b\nDUMPALL\n")
        while not data.endswith(b"DUMPDONE\n"):
            chunk = fresh.recv(65536)
            if not chunk:
                break
            data += chunk
        break
    except OSError:
        time.sleep(0.2)
print("answered" if b"PONG" in data and b"DUMPDONE" in data else "no answer",
      "calm" if c1 - c0 < 0.5 * (t1 - t0) else "spinning",
      "reason" if b'experimental.comm.error "no such device' in data else "no reason")
PY
)
check "fresh client out of descriptors" "answered calm reason" "$out"
kill "$flood" 2>/dev/null
wait "$flood" 2>/dev/null
check "refusals told once" 1 "$(grep -c 'instant command' "$work/flood.err")"
check "failed open told once" 1 "$(grep -c "cannot open the module: no such device $work/none" "$work/flood.err")"

echo "nut_test: $passes passed, $failures failed"
if [ $failures -ne 0 ]; then
    for log in upsd.log upsmon.log upsdrvctl.log sim.err; do
        echo "--- $log"
        tail -20 "$work/$log" 2>/dev/null
    done
fi
[ $failures -eq 0 ]
