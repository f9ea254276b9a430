#!/usr/bin/env bash
# Installs what is missing, builds the project and shows the program working
# on a simulated module:
#   - upssim serves a pseudo terminal, and QXUPS_COM1 (the default port "COM1",
#     and the port saved in the user's settings when that is another "COMn")
#     points at it; the user's config_com.xml is left as it is;
#   - with a display: trayer when the desktop has no system tray, then
#     QXUPSUtility; the simulator stops when the program ends;
#   - without a display: upsctl monitor with a scripted DC loss and return,
#     which ends by itself.
# Options:
#   --real      run the program against a real module (no simulator)
#   --no-setup  skip installing packages and building (use what build/bin has)
#   --help      this text
# QXUPS_BIN_DIR names another runnable tree than build/bin.
# Any other argument goes to QXUPSUtility.
set -euo pipefail
cd "$(dirname "$0")/.."

real=0
setup=1
program_args=()
for arg in "$@"; do
    case $arg in
    --real) real=1 ;;
    --no-setup) setup=0 ;;
    -h | --help)
        sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
        exit 0
        ;;
    *) program_args+=("$arg") ;;
    esac
done

bin=${QXUPS_BIN_DIR:-build/bin}

if [ "$setup" -eq 1 ]; then
    bash scripts/deps.sh
    # A build folder that exists keeps its options (test.sh builds the tests there).
    if [ ! -f build/CMakeCache.txt ]; then
        cmake -S . -B build -G Ninja -DQXUPS_BUILD_TESTS=OFF -DQXUPS_BUILD_BENCH=OFF >/dev/null
    fi
    cmake --build build -j"$(nproc)"
fi

for tool in QXUPSUtility upssim upsctl; do
    if [ ! -x "$bin/$tool" ]; then
        echo "run: $bin/$tool is missing; run without --no-setup to build it" >&2
        exit 1
    fi
done
# The simulated module is the product of device type 302, with the register
# table the program shows for it (which registers exist, which are writable,
# their starting values).
sim_type=302
sim_table=$bin/iconfigs/DCU-2410/config_registers.xml
if [ "$real" -eq 0 ] && [ ! -r "$sim_table" ]; then
    echo "run: $sim_table is missing; run without --no-setup to build the runnable tree" >&2
    exit 1
fi

# Help files (.chm) open in xchm, unless the user has chosen another viewer.
set_help_viewer() {
    local type=application/vnd.ms-htmlhelp
    local list=${XDG_CONFIG_HOME:-$HOME/.config}/mimeapps.list
    command -v xdg-mime >/dev/null || return 0
    [ -f /usr/share/applications/xchm.desktop ] || return 0
    if [ -f "$list" ] && grep -q "^$type=" "$list"; then
        return 0
    fi
    local current
    current=$(xdg-mime query default "$type" 2>/dev/null || true)
    if [ -z "$current" ] || [ "$current" = xchm.desktop ]; then
        xdg-mime default xchm.desktop "$type" || echo "run: could not make xchm the viewer of .chm files" >&2
    fi
}
set_help_viewer

has_display() {
    [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]
}

# Whether an X system tray runs: the owner of the _NET_SYSTEM_TRAY_S<screen>
# selection (libX11 through python3's ctypes; no extra package).
tray_present() {
    python3 - <<'EOF' 2>/dev/null
import ctypes, ctypes.util, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultScreen.argtypes = [ctypes.c_void_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
d = x.XOpenDisplay(None)
if not d:
    sys.exit(2)
atom = x.XInternAtom(d, b"_NET_SYSTEM_TRAY_S%d" % x.XDefaultScreen(d), 0)
sys.exit(0 if x.XGetSelectionOwner(d, atom) else 1)
EOF
}

tray_pid=""
start_tray_if_missing() {
    [ -n "${DISPLAY:-}" ] || return 0
    tray_present && return 0
    if ! command -v trayer >/dev/null; then
        echo "run: the desktop has no system tray and trayer is not installed; closing the window quits" >&2
        return 0
    fi
    echo "run: the desktop has no system tray; starting trayer (bottom right)"
    trayer --edge bottom --align right --widthtype pixel --width 100 --height 24 \
        >/dev/null 2>&1 &
    tray_pid=$!
    for _ in $(seq 50); do
        tray_present && return 0
        sleep 0.1
    done
    echo "run: trayer did not come up; closing the window quits" >&2
}

# The program's single-instance lock (a flock on this file while it runs): in
# $XDG_RUNTIME_DIR when that is a folder of the user's that nobody else can
# write, else in the per-user cache folder (as app/instanceLock.cpp chooses).
instance_lock_dir() {
    local runtime=${XDG_RUNTIME_DIR:-}
    if [[ $runtime == /* ]] && [ -d "$runtime" ] && [ -O "$runtime" ] &&
        [ -z "$(find "$runtime" -maxdepth 0 -perm /022 2>/dev/null)" ]; then
        echo "$runtime"
    else
        local cache=${XDG_CACHE_HOME:-}
        [[ $cache == /* ]] || cache=$HOME/.cache
        echo "$cache/QXUPSUtility"
    fi
}
instance_lock=$(instance_lock_dir)/REVOV_Azezed_UTILITY
instance_running() {
    [ -e "$instance_lock" ] && ! flock -n "$instance_lock" true 2>/dev/null
}

# Waits while the program runs, including a successor it starts itself after
# a change of language (it takes the lock within moments of the exit).
wait_for_instances() {
    local quiet=0
    while [ "$quiet" -lt 30 ]; do
        if instance_running; then
            flock "$instance_lock" true 2>/dev/null || true
            quiet=0
        else
            quiet=$((quiet + 1))
            sleep 0.1
        fi
    done
}

if [ "$real" -eq 1 ]; then
    if ! has_display; then
        echo "run: QXUPSUtility needs a display; on a headless machine use upsctl," >&2
        echo "     e.g. $bin/upsctl --port 33 status (port 33 is /dev/ttyUSB0)" >&2
        exit 1
    fi
    start_tray_if_missing
    status=0
    "$bin/QXUPSUtility" "${program_args[@]}" || status=$?
    if [ -n "$tray_pid" ]; then
        wait_for_instances
        kill "$tray_pid" 2>/dev/null || true
    fi
    exit $status
fi

# The simulated module. Its commands come through a FIFO that this script
# holds open: when the script ends, however it ends, the simulator sees the
# end of its input and stops (--quit-on-eof).
work=$(mktemp -d "${TMPDIR:-/tmp}/qxups-demo.XXXXXX")
sim_pid=""
monitor_pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    for pid in $monitor_pid $sim_pid $tray_pid; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkfifo "$work/control"
"$bin/upssim" --pty "$work/ups" --device-type "$sim_type" --registers "$sim_table" --quit-on-eof \
    <"$work/control" >"$work/upssim.log" 2>&1 &
sim_pid=$!
exec 3>"$work/control"
for _ in $(seq 100); do
    grep -q '^ready ' "$work/upssim.log" && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
    sleep 0.1
done
if ! grep -q '^ready ' "$work/upssim.log"; then
    echo "run: the simulator did not start:" >&2
    cat "$work/upssim.log" >&2
    exit 1
fi
sim() { echo "$*" >&3; }

export QXUPS_COM1="$work/ups"

if ! has_display; then
    echo "run: no display; upsctl watches the simulated module instead of the program"
    echo "run: a DC loss follows in 2 s, and the DC returns 4 s later"
    echo
    "$bin/upsctl" --port 1 status
    echo
    echo "run: upsctl sets the policy mode (register 40035) to 6, a backup time of 20 s"
    "$bin/upsctl" --port 1 write 40035 6
    echo
    "$bin/upsctl" --port 1 monitor 200 --on-dc-loss "touch '$work/dc-loss-command-ran'" &
    monitor_pid=$!
    sleep 2
    sim scenario dc-loss
    sim scenario charge -1
    sleep 4
    sim scenario dc-return
    sim scenario charge 0
    sleep 2
    kill -TERM "$monitor_pid" 2>/dev/null || true
    status=0
    wait "$monitor_pid" || status=$?
    monitor_pid=""
    echo
    if [ -e "$work/dc-loss-command-ran" ]; then
        echo "run: the --on-dc-loss command ran once at the DC loss"
    else
        echo "run: the --on-dc-loss command did not run" >&2
        status=1
    fi
    echo "run: with a display, the same command starts QXUPSUtility on the simulated module"
    exit $status
fi

if instance_running; then
    echo "run: QXUPSUtility is already running; quit it first (tray menu, Quit)" >&2
    exit 1
fi

# The port the user's saved settings name, when it is another "COMn", leads
# to the simulator too (only in this demo's environment).
settings_dir=${QXUPS_APPDIR:-$bin}
if [ ! -w "$settings_dir" ]; then
    settings_dir=${XDG_CONFIG_HOME:-$HOME/.config}/Tarvel/UPS
fi
if [ -r "$settings_dir/configs/config_com.xml" ]; then
    port=$(sed -n 's:.*<ComPort>[[:space:]]*COM\([0-9][0-9]*\)[[:space:]]*</ComPort>.*:\1:p' \
        "$settings_dir/configs/config_com.xml" | head -n1)
    if [ -n "$port" ] && [ "$port" != 1 ]; then
        export "QXUPS_COM$port=$work/ups"
        echo "run: your saved port COM$port leads to the simulator in this demo"
    fi
fi

start_tray_if_missing
cat <<EOF
run: QXUPSUtility on a simulated module (device type 302, port "COM1").
     Press Connect (tool bar or Comm panel); Quit in the tray menu ends the demo.
     Events for the simulator, from another terminal:
       echo 'scenario dc-loss'   > $work/control
       echo 'scenario dc-return' > $work/control
EOF
status=0
"$bin/QXUPSUtility" "${program_args[@]}" || status=$?
wait_for_instances
echo "run: the program ended; stopping the simulator"
exit $status
