#!/usr/bin/env bash
# Our clients of upsd: upssim on a pseudo terminal -> qxups-nut -> upsd on
# 127.0.0.1 on a free port, and a second UPS served by NUT's own dummy-ups
# from a .dev file, all from a private NUT_CONFPATH/NUT_STATEPATH. upsctl
# --nut: status (text and JSON) of both, list, write, a wrong UPS name, servers
# that send an endless line or nothing, and a monitor that sees a DC loss, a
# lost module, and upsd stopped and started again. The program, offscreen:
# the same view through upsd as on a serial line of its own, a DC loss (log,
# tray, one script run), a lost module and upsd restarted, a Config-tab write
# with a user of upsd.users and one with a wrong password, and dummy-ups.
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

# ---- write: SET VAR as a user of upsd.users ------------------------------------
printf 'secret\n' >"$work/password"
out=$(nut dcups write experimental.register.40040 7 --user admin --password-file "$work/password" 2>&1)
check "write" "0 []" "$? [$out]"
wait_for "register written" 10 sim_says "get 40" "value 7"

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

# ---- the program: the same view through upsd as on the serial line ----------
# The test copy of the program, offscreen, on a private copy of its data
# (QXUPS_APPDIR) and settings; QXUPS_TEST_VIEW_FILE gives what its status
# page shows and its log. Auto Connect, policy DC_OK and a script that notes
# each of its runs.
app_pids=()
start_app() {  # start_app NAME COMMODE [ENV=VALUE...]: the rest of config_com.xml from app_com
    local name=$1 mode=$2 dir="$work/app-$1"
    shift 2
    mkdir -p "$dir/.config/Tarvel" "$dir/run" "$dir/configs"
    chmod 700 "$dir/run"
    cp -a "$bin/configs/." "$dir/configs/"
    cp -a "$bin/iconfigs" "$bin/Language" "$dir/"
    cat >"$dir/configs/config_com.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<Settings><Setting><ComMode>$mode</ComMode><ComPort>COM9</ComPort><PollDelay>100</PollDelay>
<AutoConnect>1</AutoConnect><NutHost>127.0.0.1</NutHost><NutPort>$port</NutPort>
<NutUps>${app_ups:-dcups}</NutUps><NutUser>${app_user:-}</NutUser></Setting></Settings>
EOF
    [ -n "${app_password:-}" ] && printf '%s\n' "$app_password" >"$dir/configs/nut_password"
    printf '#!/bin/sh\ndate +%%s.%%N >>"%s/script-runs"\n' "$dir" >"$dir/on-loss.sh"
    chmod 755 "$dir/on-loss.sh"
    printf '[REVOV_Azezed]\nbatPath=%s\nbatExecutePolicy=1\n' "$dir/on-loss.sh" >"$dir/.config/Tarvel/UPS.conf"
    env QT_QPA_PLATFORM=offscreen HOME="$dir" XDG_CONFIG_HOME="$dir/.config" \
        XDG_RUNTIME_DIR="$dir/run" XDG_CACHE_HOME="$dir/cache" QXUPS_APPDIR="$dir" \
        QXUPS_COM9="${app_line:-$work/line}" QXUPS_TEST_VIEW_FILE="$dir/view" "$@" \
        "$bin/QXUPSUtility_testhooks" >"$dir/out" 2>&1 &
    app_pids+=($!)
    pids+=($!)
}
view() { head -n 1 "$work/app-$1/view" 2>/dev/null; }
app_logged() { tail -n +2 "$work/app-$1/view" 2>/dev/null | grep -qF -- "$2"; }
app_count() { tail -n +2 "$work/app-$1/view" 2>/dev/null | grep -cF -- "$2"; }
showing() { view "$1" | grep -q "charge=[0-9]"; }

# A second simulator on a line of its own: the same module read over serial.
sim2_in="$work/sim2.in"
mkfifo "$sim2_in"
"$bin/upssim" --pty "$work/line2" --registers "$drv/iconfigs/DCU-2410/config_registers.xml" \
    --quit-on-eof <"$sim2_in" >"$work/sim2.out" 2>>"$work/sim2.err" &
pids+=($!)
exec 4>"$sim2_in"
wait_for "second simulator" 10 grep -q '^ready ' "$work/sim2.out"

wait_for "dcups online again" 60 online
app_line="$work/line2" start_app serial 0
start_app nut 2
wait_for "program on the serial line shows the module" 30 showing serial
wait_for "program through upsd shows the module" 30 showing nut
check "same view through upsd as on the serial line" "$(view serial)" "$(view nut)"
check "our driver: every indicator has its bit" 0 "$(view nut | grep -o 'leds=[^|]*' | grep -c ':-')"
wait_for "connected through upsd, said so" 10 app_logged nut 'Watching UPS "dcups" on upsd 127.0.0.1'

# A DC loss on both: the log line, the tray image, exactly one script run.
tray_before=$(view nut | grep -o 'tray=[^|]*')
loss_at=$(date +%s.%N)
echo "scenario dc-loss" >&3
echo "scenario dc-loss" >&4
for name in nut serial; do
    wait_for "$name: DC loss logged" 30 app_logged "$name" "DC is broken."
    wait_for "$name: script ran" 30 test -s "$work/app-$name/script-runs"
done
for name in nut serial; do
    awk -v a="$loss_at" -v n="$name" '{ printf "program (%s): dc-loss to script start: %.2f s\n", n, $1 - a; exit }' \
        "$work/app-$name/script-runs"
done
sleep 3
check "script once through upsd" 1 "$(wc -l <"$work/app-nut/script-runs")"
check "tray on battery through upsd" "$(view serial | grep -o 'tray=[^|]*')" "$(view nut | grep -o 'tray=[^|]*')"
check "tray shows the loss" 1 "$([ "$(view nut | grep -o 'tray=[^|]*')" != "$tray_before" ] && echo 1)"
echo "scenario dc-return" >&3
echo "scenario dc-return" >&4
wait_for "DC back through upsd" 30 app_logged nut "DC is connected."

# The module gone: upsd says data stale, the line is lost, and back by itself.
stop_sim
wait_for "program: data stale" 40 app_logged nut "upsd on 127.0.0.1: data stale"
wait_for "program: line lost" 40 app_logged nut "Communication with the UPS lost (upsd on 127.0.0.1: data stale)"
start_sim
wait_for "program: back by itself" 90 app_logged nut "Communication restored"

# upsd restarted: refused while away, reconnected after.
restored=$(app_count nut "Communication restored")
stop_upsd
wait_for "program: upsd away" 30 app_logged nut "upsd on 127.0.0.1: connection refused"
start_upsd
restored_again() { [ "$(app_count nut "Communication restored")" -gt "$restored" ]; }
wait_for "program: reconnected to upsd" 90 restored_again

# A write from the Config tab with a user of upsd.users reaches the module;
# a wrong password says so and writes nothing.
app_user=admin app_password=secret start_app writer 2 QXUPS_TEST_NUT_WRITE=experimental.register.40040=9
wait_for "Config tab write said done" 60 app_logged writer "experimental.register.40040 set to 9"
wait_for "written into the module" 20 sim_says "get 40" "value 9"
app_user=admin app_password=wr0ngpass start_app intruder 2 QXUPS_TEST_NUT_WRITE=experimental.register.40040=11
wait_for "wrong password: the message" 60 app_logged intruder "refused the login of user admin"
sleep 2
check "wrong password: nothing written" 1 "$(sim_says "get 40" "value 9" && echo 1)"
check "the password never in a log line" 0 "$(cat "$work"/app-*/view "$work"/app-*/out | grep -c 'secret\|wr0ngpass')"

# A UPS name upsd does not know: said once, and not tried again.
app_ups=nosuch start_app nosuch 2
wait_for "unknown UPS said" 30 app_logged nosuch "upsd on 127.0.0.1: unknown UPS"
sleep 4
check "unknown UPS said once" 1 "$(app_count nosuch "unknown UPS")"

# NUT's dummy-ups: charge and status shown, indicators without a source grey,
# a DC loss acted on.
app_ups=dummy start_app dummy 2
wait_for "dummy: shown" 30 showing dummy
check "dummy: view" "supply=DC|charge=87|leds=DC_OK:1,Bat.Mode:-,Bat.Ready:-,SW:-,Remote:-,Bat.Start:-,Dev.PSts:-" \
    "$(view dummy | tr '|' '\n' | grep -E '^(supply|charge|leds)=' | paste -sd '|')"
sed -i 's/^ups.status: .*/ups.status: OB DISCHRG/' "$conf/dummy.dev"
wait_for "dummy: DC loss acted on" 60 test -s "$work/app-dummy/script-runs"
wait_for "dummy: DC loss logged" 10 app_logged dummy "DC is broken."
for pid in "${app_pids[@]}"; do kill "$pid" 2>/dev/null; done

echo "nut_client_test: $passes passed, $failures failed"
if [ $failures -ne 0 ]; then
    for log in upsd.log dcups.log dummy.log mon.log sim.err app-nut/view app-writer/view app-intruder/view app-dummy/view; do
        echo "--- $log"
        tail -20 "$work/$log" 2>/dev/null
    done
fi
[ $failures -eq 0 ]
