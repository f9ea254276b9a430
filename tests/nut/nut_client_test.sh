#!/usr/bin/env bash
# Our clients of upsd: upssim on a pseudo terminal -> qxups-nut -> upsd on
# 127.0.0.1 on a free port, and a second UPS served by NUT's own dummy-ups
# from a .dev file, all from a private NUT_CONFPATH/NUT_STATEPATH. upsctl
# --nut: status (text and JSON) of both, list, a wrong UPS name, servers
# that send an endless line or nothing, and a monitor that sees a DC loss, a
# lost module, and upsd stopped and started again.
#   nut_client_test.sh BIN_DIR        (exit 77 when NUT is not installed)
set -u
bin=$(cd "$1" && pwd)
. "$(dirname "$0")/nut_setup.sh"
dummy=$(find_tool dummy-ups)
if [ -z "$dummy" ]; then
    echo "SKIP: NUT's dummy-ups driver not installed"
    exit 77
fi

# ---- daemons -------------------------------------------------------------
pids=()
upsd_pid=""
cleanup() {
    for pid in "${pids[@]}" $upsd_pid; do kill "$pid" 2>/dev/null; done
    stop_sim
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

start_upsd() {
    "$upsd" -F >>"$work/upsd.log" 2>&1 &
    upsd_pid=$!
}
stop_upsd() {
    kill "$upsd_pid" 2>/dev/null
    wait "$upsd_pid" 2>/dev/null
    upsd_pid=""
}
# start_driver PROGRAM UPS: in the foreground of its own background job.
start_driver() {
    "$1" -a "$2" -F >>"$work/$2.log" 2>&1 &
    pids+=($!)
}

cat >"$conf/ups.conf" <<EOF
[dcups]
    driver = qxups-nut
    port = $work/line
    pollinterval = 1
    desc = "DC UPS module under test"
[dummy]
    driver = dummy-ups
    port = dummy.dev
    desc = "NUT's dummy"
EOF
cat >"$conf/dummy.dev" <<EOF
ups.status: OL
battery.charge: 87
ups.model: Dummy 1000
input.voltage: 230.0
EOF
cat >"$conf/upsd.conf" <<EOF
LISTEN 127.0.0.1 $port
EOF
cat >"$conf/upsd.users" <<EOF
[admin]
    password = "secret"
    actions = SET
EOF
conf_done

start_sim
start_driver "$drv/qxups-nut" dcups
start_driver "$dummy" dummy
start_upsd
host="127.0.0.1:$port"
online() { [ "$(timeout 10 upsc "dcups@$host" ups.status 2>/dev/null)" == "OL CHRG" ]; }
# dummy-ups publishes its file's lines one by one: all of them.
dummy_up() { [ "$(timeout 10 upsc "dummy@$host" 2>/dev/null | grep -c '^ups.status\|^battery.charge\|^ups.model\|^input.voltage')" == 4 ]; }
wait_for "dcups online" 30 online
wait_for "dummy up" 30 dummy_up

# ---- helpers -------------------------------------------------------------
nut() {  # nut UPS ARGS...: upsctl --nut UPS@HOST ARGS...
    local ups=$1
    shift
    timeout 30 "$bin/upsctl" --nut "$ups@$host" "$@"
}
json_field() {  # json_field PATH...: fields of the JSON on stdin, space-separated
    python3 -c 'import json, sys
s = json.load(sys.stdin)
out = []
for path in sys.argv[1:]:
    v = s
    for key in path.split("."):
        v = v[key]
    out.append(json.dumps(v))
print(" ".join(out))' "$@"
}
# A monitor in the background: start_monitor NAME UPS ARGS...; its log is
# $work/NAME.log, its pid in monitor_pid.
start_monitor() {
    local name=$1 ups=$2
    shift 2
    "$bin/upsctl" --nut "$ups@$host" monitor "$@" >"$work/$name.log" 2>&1 &
    monitor_pid=$!
    pids+=($monitor_pid)
}
# logged NAME PATTERN: in the log's lines after the mark (mark NAME).
logged() { tail -n "+$((${marks[$1]:-0} + 1))" "$work/$1.log" | grep -q "$2"; }
declare -A marks
mark() { marks[$1]=$(wc -l <"$work/$1.log"); }

# ---- status and list -------------------------------------------------------
text=$(nut dcups status)
check "status: our driver" "Power supply:    DC|Battery charge:  80 %|Policy mode:     PC|DO: DC_OK=on Bat.Mode=off Bat.Ready=on SW=off" \
    "$(grep -E '^(Power supply|Battery charge|Policy mode|DO):' <<<"$text" | paste -sd '|')"
text=$(nut dummy status)
check "status: dummy" "Device type:     unknown|Product:         Dummy 1000|Battery charge:  87 %|Policy mode:     unknown|DO: DC_OK=on Bat.Mode=unknown Bat.Ready=unknown SW=unknown" \
    "$(grep -E '^(Device type|Product|Battery charge|Policy mode|DO):' <<<"$text" | paste -sd '|')"
check "json: our driver" '"DCU-2410" 80 "PC" true true 24000' \
    "$(nut dcups status --json | json_field product battery_charge policy_mode do.dc_ok do.bat_ready voltage_input_mv)"
check "json: dummy" '"Dummy 1000" null 87 null true null null null' \
    "$(nut dummy status --json | json_field product device_type battery_charge policy_mode do.dc_ok do.sw voltage_input_mv runtime_s)"
check "list" "dcups  DC UPS module under test|dummy  NUT's dummy" \
    "$(timeout 30 "$bin/upsctl" --nut "@$host" list | paste -sd '|')"

# ---- a wrong UPS name: said once, not retried --------------------------------
out=$(timeout 30 "$bin/upsctl" --nut "nosuch@$host" monitor 1000 2>&1)
check "wrong UPS: exit" 1 "$?"
check "wrong UPS: said once" 1 "$(grep -c "unknown UPS 'nosuch'" <<<"$out")"

# ---- broken servers: an endless line, silence -----------------------------------
# fake_upsd PORT MODE: a one-client stand-in that answers any request with
# a line that never ends (flood) or with nothing (silent).
fake_upsd() {
    rm -f "$work/fake.ready"
    python3 - "$@" "$work/fake.ready" <<'PY' &
import socket, sys, time
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(1)
server.settimeout(30)
open(sys.argv[3], "w").close()  # listening
client, _ = server.accept()
client.recv(1024)
deadline = time.monotonic() + 20
try:
    while time.monotonic() < deadline:
        if sys.argv[2] == "flood":
            client.sendall(b"x" * 65536)
        else:
            time.sleep(0.1)
except OSError:
    pass
PY
    pids+=($!)
    wait_for "fake upsd $2 listens" 30 test -e "$work/fake.ready"
}
fake_port=$(free_port)
fake_upsd "$fake_port" flood
out=$(timeout 30 "$bin/upsctl" --nut "dcups@127.0.0.1:$fake_port" status 2>&1)
check "endless line" "1 upsctl: upsd on 127.0.0.1: broken answer" "$? $out"
fake_port=$(free_port)
fake_upsd "$fake_port" silent
out=$(timeout 30 "$bin/upsctl" --nut "dcups@127.0.0.1:$fake_port" --timeout 500 status 2>&1)
check "silent server" "1 upsctl: upsd on 127.0.0.1: no answer in time" "$? $out"

# ---- the monitor: a DC loss, a lost module, upsd away and back ----------------
start_monitor mon dcups 1000 --on-dc-loss "date +%s.%N >>'$work/hook'"
wait_for "monitor reads" 20 logged mon "source=DC"
loss_at=$(date +%s.%N)
echo "scenario dc-loss" >&3
wait_for "DC loss seen" 20 logged mon "DC is broken."
wait_for "hook run" 20 test -s "$work/hook"
awk -v a="$loss_at" '{ printf "dc-loss to hook start: %.2f s\n", $1 - a; exit }' "$work/hook"
sleep 3
check "hook once" 1 "$(wc -l <"$work/hook")"

stop_sim
wait_for "module lost: data stale" 40 logged mon "upsd on 127.0.0.1: data stale"
wait_for "line lost logged" 20 logged mon "Communication with the module lost (upsd on 127.0.0.1: data stale)"
start_sim
wait_for "module back" 60 logged mon "Communication restored"

mark mon
stop_upsd
wait_for "upsd away: refused" 30 logged mon "upsd on 127.0.0.1: connection refused"
start_upsd
wait_for "upsd back" 60 logged mon "Communication restored"
kill -TERM "$monitor_pid"
wait "$monitor_pid"
check "monitor exit" 0 "$?"

echo "nut_client_test: $passes passed, $failures failed"
if [ $failures -ne 0 ]; then
    for log in upsd.log dcups.log dummy.log mon.log sim.err; do
        echo "--- $log"
        tail -20 "$work/$log" 2>/dev/null
    done
fi
[ $failures -eq 0 ]
