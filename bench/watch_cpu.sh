#!/usr/bin/env bash
# The program's CPU while it watches a module, measured as a user runs it: the
# shipped program on an X server with a tray, the Status tab in front, a 20 ms
# poll cycle, the simulator on a pseudo terminal. Each run starts the program
# afresh, waits until it polls, and reads /proc/<pid>/task/*/stat over SECONDS
# (default 30); the median of RUNS (default 3) runs is given per thread and for
# the whole process, in % of one core. Not part of ctest.
#   bench/watch_cpu.sh BUILD_DIR [SECONDS] [RUNS]
set -eu
build=$(cd "${1:?usage: watch_cpu.sh BUILD_DIR [SECONDS] [RUNS]}" && pwd)
seconds=${2:-30}
runs=${3:-3}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
program=$build/bin/QXUPSUtility
sim=$build/bin/upssim
for tool in Xvfb trayer "$program" "$sim"; do
    command -v "$tool" > /dev/null || { echo "watch_cpu: $tool not found" >&2; exit 2; }
done
ticks=$(getconf CLK_TCK)

# A scratch tree: the program's data folders, its settings (connect at start,
# 20 ms), its own runtime folder (the single-instance lock) and home, so that
# nothing of the user's, nor a program another user runs, is touched.
root=$(mktemp -d "${TMPDIR:-/tmp}/watch_cpu.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
    rm -rf "$root"
}
trap cleanup EXIT
cp -r "$source_dir/data/." "$root/"
mkdir -p "$root/configs" "$root/run" "$root/home"
chmod 700 "$root/run"
cat > "$root/configs/config_com.xml" << 'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Settings><Setting><ComPort>COM201</ComPort><PollDelay>20</PollDelay><AutoConnect>1</AutoConnect><AutoHide>0</AutoHide></Setting></Settings>
EOF
export QXUPS_APPDIR=$root QXUPS_COM201=$root/line XDG_RUNTIME_DIR=$root/run HOME=$root/home
export XDG_CONFIG_HOME=$root/home/.config QT_QPA_PLATFORM=xcb

# The X server picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3> "$root/display" 2> /dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$root/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$root/display")
trayer --edge bottom --align right --widthtype pixel --width 120 > /dev/null 2>&1 &
pids+=($!)
"$sim" --pty "$root/line" < /dev/null > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$root/line" ] && break; sleep 0.1; done

# utime + stime in ticks: "name ticks" per thread, then "process ticks".
sample() {
    local pid=$1 stat rest name
    for task in /proc/"$pid"/task/*; do
        stat=$(cat "$task/stat" 2> /dev/null) || continue
        name=${stat#*(}
        name=${name%)*}
        rest=(${stat##*) })
        echo "${name// /_}#${task##*/} $((rest[11] + rest[12]))"
    done
    stat=$(cat /proc/"$pid"/stat)
    rest=(${stat##*) })
    echo "process $((rest[11] + rest[12]))"
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq "$runs"); do
    "$program" > /dev/null 2> "$root/program.log" &
    pid=$!
    pids+=($pid)
    # Polling: the pseudo terminal is open; then a few seconds to settle.
    for _ in $(seq 200); do
        ls -l /proc/$pid/fd 2> /dev/null | grep -q /dev/pts/ && break
        sleep 0.1
    done
    ls -l /proc/$pid/fd | grep -q /dev/pts/ || { echo "watch_cpu: the program did not connect" >&2; exit 1; }
    sleep 3
    sample $pid > "$root/before"
    sleep "$seconds"
    sample $pid > "$root/after"
    # Per thread by name (Qt names its threads after their objects); thread
    # ids differ between runs, so threads of one name are added up.
    awk -v t="$ticks" -v s="$seconds" -v run="$run" '
        NR == FNR { sub(/#.*/, "", $1); b[$1] += $2; next }
        { sub(/#.*/, "", $1); a[$1] += $2 }
        END { for (n in a) printf "%s %s %.3f\n", run, n, (a[n] - b[n]) * 100 / t / s }
    ' "$root/before" "$root/after" >> "$root/results"
    kill $pid
    wait $pid 2> /dev/null || true
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "% of one core over ${seconds} s, median of $runs runs (runs in brackets):"
sort -k2,2 -k3,3n "$root/results" | awk '
    { v[$2] = v[$2] (v[$2] == "" ? "" : " ") $3; c[$2]++ }
    END {
        for (n in v) {
            k = split(v[n], x, " ")
            printf "  %-16s %6.2f  [%s]\n", n, x[int((k + 1) / 2)], v[n]
        }
    }' | sort -k2,2nr
