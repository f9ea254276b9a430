#!/usr/bin/env bash
# The Windows stage: cross-builds QXUPSSDK.dll and upsctl.exe with mingw-w64,
# checks the DLL's export table, and drives the DLL through upsctl.exe under
# Wine against upssim (a Linux program) on pseudo terminals mapped as COM ports
# in a throwaway Wine prefix: RTU and ASCII open and read, a write read back,
# the time-out on a silent module, an exception answer and a missing port;
# upsctl --nut through Winsock against a stand-in for upsd. The
# library's API tests run there too, built for Windows, each of their pseudo
# terminals made on the Linux side by scripts/wine_pty_bridge.py.
# Wine's serial layer is not Windows's; this proves the Win32 code paths and
# the DLL's interface, not a Windows driver's timing.
#
#   scripts/test_windows.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
# LINUX_BUILD_DIR holds bin/upssim (default build). Ends with one summary line.
set -uo pipefail
cd "$(dirname "$0")/.."

linux_build=${1:-build}
win_build=${2:-build-win}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
upssim=$linux_build/bin/upssim
start=$(date +%s)
passed=0
failed=0

summary() {
    echo "windows stage: $passed passed, $failed failed ($(($(date +%s) - start)) s)"
}

if [ ! -x "$upssim" ]; then
    echo "windows stage: $upssim missing (build the Linux tree first)"
    failed=1
    summary
    exit 1
fi

echo "-- cross-build in $win_build"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$win_build"
if ! cmake -S . -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DQXUPS_BUILD_TESTS=ON -DQXUPS_BUILD_BENCH=ON "${launcher[@]}" >"$win_build/configure.log" 2>&1 ||
    ! cmake --build "$win_build" -j2 >"$win_build/build.log" 2>&1; then
    cat "$win_build/configure.log" "$win_build/build.log" 2>/dev/null | tail -40
    failed=1
    summary
    exit 1
fi

# The export table (x86_64-w64-mingw32-objdump -p).
if (cd "$win_build" && ctest --output-on-failure -R sdk_exports); then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
fi

# A fresh prefix under the build folder, no display, no Wine messages.
work=$(cd "$win_build" && pwd)/wine
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sims=()
bridge=
cleanup() {
    for pid in "${sims[@]}" $bridge; do kill "$pid" 2>/dev/null; done
    timeout 30 "$wineserver" -k 2>/dev/null
    exec 7>&- 2>/dev/null
    true
}
trap cleanup EXIT

echo "-- Wine prefix in $WINEPREFIX"
if ! timeout 180 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || [ ! -d "$WINEPREFIX/dosdevices" ]; then
    tail -20 "$work/wineboot.log"
    failed=$((failed + 1))
    summary
    exit 1
fi
# One server for the whole stage, its messages kept apart: it is the session
# leader that gets a pseudo terminal as its controlling terminal, and it lists
# its objects on the hang-up when the tests close one.
timeout 30 "$wineserver" -k 2>/dev/null
"$wineserver" -p 60 >"$work/wineserver.log" 2>&1

# The library's tests built for Windows; the API tests' pseudo terminals
# come from the bridge.
python3 scripts/wine_pty_bridge.py "$WINEPREFIX/dosdevices" >"$work/bridge.out" 2>&1 &
bridge=$!
for _ in $(seq 50); do
    grep -q '^port' "$work/bridge.out" 2>/dev/null && break
    sleep 0.1
done
export QXUPS_PTY_BRIDGE=$(awk '/^port/ {print $2}' "$work/bridge.out")
for test in sdk_engine_test sdk_timer_test sdk_api_test sdk_api_ascii_test; do
    (cd "$win_build/bin" && timeout 300 "$wine" "$test.exe") >"$work/$test.log" 2>&1
    rc=$?
    if [ "$rc" -eq 0 ] && grep -q '^\[  PASSED  \]' "$work/$test.log"; then
        echo "PASS $test.exe: $(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\./\1 passed/p; s/^\[  SKIPPED \] ([0-9]+) tests?,.*/\1 skipped/p' "$work/$test.log" | paste -sd ' ')"
        passed=$((passed + 1))
    else
        echo "FAIL $test.exe: status $rc"
        grep -vE '^\[ +(RUN|OK) +\]' "$work/$test.log" | tail -40 | sed 's/^/    /'
        failed=$((failed + 1))
    fi
done
kill $bridge 2>/dev/null
bridge=

# upssim on a pseudo terminal behind $work/lineN, mapped as COM<N>. Its
# control commands come from the file descriptor given (or nothing).
start_sim() {
    local n=$1 input=$2
    shift 2
    rm -f "$work/line$n"
    "$upssim" --pty "$work/line$n" "$@" <"$input" >"$work/sim$n.out" 2>&1 &
    sims+=($!)
    for _ in $(seq 100); do
        grep -q '^ready' "$work/sim$n.out" 2>/dev/null && break
        sleep 0.1
    done
    ln -sfn "$work/line$n" "$WINEPREFIX/dosdevices/com$n"
}

mkfifo "$work/control13"
start_sim 11 /dev/null --device-type 301
start_sim 12 /dev/null --ascii
exec 7<>"$work/control13"
start_sim 13 "$work/control13"

# check NAME EXPECTED_STATUS PATTERN -- upsctl arguments
check() {
    local name=$1 want=$2 pattern=$3
    shift 4
    local out rc
    out=$(cd "$win_build/bin" && timeout 60 "$wine" upsctl.exe "$@" 2>&1)
    rc=$?
    if [ "$rc" -eq "$want" ] && grep -qE -- "$pattern" <<<"$out"; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name: status $rc (wanted $want)"
        echo "$out" | sed 's/^/    /'
        failed=$((failed + 1))
    fi
}

check "RTU open and status block" 0 '"device_type": 301, .*"battery_charge": 80' -- \
    --port 11 status --json
check "RTU write read back" 0 '^$' -- --port 11 write 40036 555
check "RTU read" 0 '^40036 555' -- --port 11 read 40036
check "ASCII open and status block" 0 '"device_type": 302, .*"dc_ok": true' -- \
    --port 12 --ascii status --json
echo "fault silent" >&7
check "time-out on a silent module" 8 'timed out' -- --port 13 --timeout 300 info
echo "fault exception 2" >&7
check "exception answer" 11 'illegal data address' -- --port 13 info
echo "fault none" >&7
check "module answers again" 0 '^device type 302' -- --port 13 info
check "a port with no device" 3 'cannot open COM99' -- --port 99 info

# --nut through Winsock, against a stand-in for upsd on 127.0.0.1 that
# answers LIST VAR for one UPS; then a port where nobody listens.
nut_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 - "$nut_port" <<'PY' &
import socket, sys
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(4)
server.settimeout(120)
answer = (b'BEGIN LIST VAR dcups\nVAR dcups ups.status "OB DISCHRG"\n'
          b'VAR dcups battery.charge "42"\nEND LIST VAR dcups\n')
for _ in range(4):
    try:
        client, _ = server.accept()
    except OSError:
        break
    with client, client.makefile("rb") as lines:
        for line in lines:
            if line.startswith(b"LIST VAR dcups"):
                client.sendall(answer)
            elif line.startswith(b"LIST VAR"):
                client.sendall(b"ERR UNKNOWN-UPS\n")
PY
sims+=($!)
sleep 0.5
check "--nut status through Winsock" 0 '"battery_charge": 42, .*"dc_ok": false, "bat_mode": null' -- \
    --nut "dcups@127.0.0.1:$nut_port" status --json
check "--nut unknown UPS" 1 "unknown UPS 'other'" -- --nut "other@127.0.0.1:$nut_port" status
check "--nut refused" 1 'connection refused' -- --nut "dcups@127.0.0.1:1" status

# The monitor: a DC loss runs its hook (cmd /c writing a file, then waiting)
# while polling goes on; Ctrl+C (SIGINT under Wine) ends the monitor and the
# hook still running.
hook_file="Z:${work//\//\\}\\hook13.txt"
(cd "$win_build/bin" && exec timeout 60 "$wine" upsctl.exe --port 13 monitor 200 \
    --on-dc-loss "echo lost> $hook_file & ping -n 50 127.0.0.1") >"$work/monitor13.out" 2>&1 &
monitor=$!
for _ in $(seq 150); do grep -q 'DC is connected' "$work/monitor13.out" && break; sleep 0.2; done
echo "scenario dc-loss" >&7
for _ in $(seq 150); do grep -q lost "$work/hook13.txt" 2>/dev/null && break; sleep 0.2; done
kill -INT "$monitor"
wait "$monitor"
rc=$?
echo "scenario dc-return" >&7
lines=$(tr -d '\r' <"$work/monitor13.out" | sed -e 's/^[-0-9 :.]*>>//' -e 's/(pid [0-9]*)/(pid N)/' |
    grep -E '^(DC is|on-dc-loss)')
want="DC is connected.
DC is broken.
on-dc-loss: command started (pid N)
on-dc-loss: command ended as the monitor stopped"
if [ "$rc" -eq 0 ] && [ "$lines" == "$want" ]; then
    echo "PASS monitor: DC loss and its hook"
    passed=$((passed + 1))
else
    echo "FAIL monitor: DC loss and its hook: status $rc"
    sed 's/^/    /' "$work/monitor13.out"
    failed=$((failed + 1))
fi

# Killed outright, the monitor takes its running hook with it: the hook's job
# ends when the system closes the killed monitor's handle on it.
rm -f "$work/hook13.txt"
(cd "$win_build/bin" && exec timeout 60 "$wine" upsctl.exe --port 13 monitor 200 \
    --on-dc-loss "echo lost> $hook_file & ping -n 51 127.0.0.1") >"$work/monitor13k.out" 2>&1 &
monitor=$!
for _ in $(seq 150); do grep -q 'DC is connected' "$work/monitor13k.out" && break; sleep 0.2; done
echo "scenario dc-loss" >&7
for _ in $(seq 150); do pgrep -f '^ping -n 51' >/dev/null && break; sleep 0.2; done
hook_seen=$(pgrep -f '^ping -n 51' | wc -l)
pkill -KILL -f 'upsctl.exe --port 13 monitor'
wait "$monitor"
for _ in $(seq 50); do pgrep -f '^ping -n 51' >/dev/null || break; sleep 0.2; done
echo "scenario dc-return" >&7
if [ "$hook_seen" -gt 0 ] && ! pgrep -f '^ping -n 51' >/dev/null; then
    echo "PASS monitor killed: its hook ended with it"
    passed=$((passed + 1))
else
    echo "FAIL monitor killed: its hook ended with it (hook seen: $hook_seen)"
    pgrep -af 'ping.*-n 51' | sed 's/^/    /'
    pkill -f 'ping.*-n 51'
    failed=$((failed + 1))
fi

# Figures, not checks: 300 status reads through the DLL under Wine and through
# the shared library on Linux, against the same simulator.
echo "-- 300 status reads against upssim (Wine's serial layer is not Windows's)"
echo "   Windows DLL under Wine: $(cd "$win_build/bin" && timeout 120 "$wine" dll_read_bench.exe 11 300 2>&1)"
if [ -x "$linux_build/bin/dll_read_bench" ]; then
    echo "   Linux shared library:   $(QXUPS_COM11=$work/line11 timeout 120 "$linux_build/bin/dll_read_bench" 11 300 2>&1)"
fi

summary
[ "$failed" -eq 0 ]
