# Sourced by the NUT tests: a private NUT_CONFPATH/NUT_STATEPATH in a
# world-readable work folder, the driver's copy, check/wait_for, upssim on a
# pseudo terminal driven through a fifo, and a free port on 127.0.0.1.
#   bin=BIN_DIR; . nut_setup.sh     (exits 77 when NUT is not installed)
#
# Started as root, the daemons drop to the user nut, which cannot read a
# private (0700) build tree: what they need is copied into a world-readable
# folder, and the pseudo terminals are opened to them.
export PATH="$PATH:/usr/sbin:/sbin"

find_tool() {  # the real program, not Debian's wrapper that reads /etc/nut/nut.conf
    if [ -x "/lib/nut/$1" ]; then echo "/lib/nut/$1"; else command -v "$1"; fi
}
upsd=$(find_tool upsd)
upsmon=$(find_tool upsmon)
upsdrvctl=$(command -v upsdrvctl)
if [ -z "$upsd" ] || [ -z "$upsmon" ] || [ -z "$upsdrvctl" ] || ! command -v upsc >/dev/null ||
    ! command -v upsrw >/dev/null; then
    echo "SKIP: Network UPS Tools (nut-server, nut-client) not installed"
    exit 77
fi

work=$(mktemp -d)
chmod 755 "$work"
conf="$work/conf"
state="$work/state"
drv="$work/drv"
mkdir -p "$conf" "$state" "$drv"
cp -a "$bin/qxups-nut" "$bin"/libQXUPSSDK.so* "$bin/configs" "$bin/iconfigs" "$drv"/
chmod -R a+rX "$drv"

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
# wait_for NAME SECONDS COMMAND...: until the command succeeds, at most SECONDS.
wait_for() {
    local name=$1 deadline=$((SECONDS + $2))
    shift 2
    until "$@" >/dev/null 2>&1; do
        if [ $SECONDS -ge $deadline ]; then
            echo "FAIL $name: not within $deadline s"
            failures=$((failures + 1))
            return 1
        fi
        sleep 0.2
    done
    passes=$((passes + 1))
}

sim=""
start_sim() {  # start_sim [private]: private leaves the terminal to root alone
    rm -f "$work/sim.in" "$work/sim.out"
    mkfifo "$work/sim.in"
    "$bin/upssim" --pty "$work/line" --registers "$drv/iconfigs/DCU-2410/config_registers.xml" \
        --quit-on-eof <"$work/sim.in" >"$work/sim.out" 2>>"$work/sim.err" &
    sim=$!
    exec 3>"$work/sim.in"
    for _ in $(seq 100); do
        grep -q '^ready ' "$work/sim.out" 2>/dev/null && break
        sleep 0.05
    done
    # The driver, dropped to nut when started as root, reopens the line.
    [ "${1:-}" == private ] || chmod 666 "$(readlink -f "$work/line")"
}
stop_sim() {
    [ -z "$sim" ] && return
    kill "$sim" 2>/dev/null
    exec 3>&-
    wait "$sim" 2>/dev/null
    sim=""
}
sim_says() {  # sim_says COMMAND EXPECTED: the simulator's answer to COMMAND
    local before
    before=$(wc -l <"$work/sim.out")
    echo "$1" >&3
    for _ in $(seq 50); do
        [ "$(wc -l <"$work/sim.out")" -gt "$before" ] && break
        sleep 0.05
    done
    [ "$(tail -n 1 "$work/sim.out")" == "$2" ]
}

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)
runas=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    runas=nut
    chown nut: "$state"
fi
chmod 770 "$state"
cat >"$conf/nut.conf" <<CONF
MODE=standalone
CONF
export NUT_CONFPATH=$conf NUT_STATEPATH=$state NUT_ALTPIDPATH=$state

# After the test has written its files into $conf: readable to the daemons.
conf_done() {
    chmod 640 "$conf"/*
    [ "$runas" == nut ] && chgrp nut "$conf"/*
}
