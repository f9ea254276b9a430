#!/usr/bin/env bash
# The Debian packages as a user meets them: lintian, then, in a throw-away
# Debian 12 root (debootstrap minbase), "apt-get install ./*.deb" pulling
# every dependency from Debian; there upsctl, the program against upssim,
# upsdrvctl finding the driver without driverpath, the units checked by
# systemd-analyze, an upgrade that keeps the settings, and a purge that
# leaves nothing of the packages behind.
#   package_check.sh DEB_DIR     (exit 77, with the reason, where the machine
#                                 cannot make a root file system)
# QXUPS_PKGROOT_BASE: a debootstrapped root to copy instead of making one.
set -uo pipefail
debs=$(cd "${1:?usage: package_check.sh DEB_DIR}" && pwd)
skip=77

[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root (debootstrap, chroot, mounts)"; exit $skip; }
for tool in debootstrap lintian chroot dpkg-deb; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit $skip; }
done
ls "$debs"/*.deb >/dev/null 2>&1 || { echo "FAIL: no packages in $debs"; exit 1; }

fail=0
check() { # description, command...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}

# lintian: no errors; what it warns of is listed for the reader.
lintian_out=$(lintian --allow-root -I "$debs"/*.deb 2>&1)
echo "$lintian_out" | sed 's/^/lintian: /'
check "lintian reports no errors" test -z "$(grep '^E:' <<<"$lintian_out")"

work=$(mktemp -d /var/tmp/qxups-pkgcheck.XXXXXX)
root=$work/root
mounted=()
cleanup() {
    for ((k = ${#mounted[@]} - 1; k >= 0; k--)); do umount -l "${mounted[$k]}" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

base=${QXUPS_PKGROOT_BASE:-}
if [ -n "$base" ] && [ -x "$base/bin/bash" ]; then
    cp -a "$base" "$root"
else
    mirror=$(grep -h '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1 | awk '{print $2}')
    [ -n "$mirror" ] || mirror=$(grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | head -1 | awk '{print $2}')
    if ! debootstrap --variant=minbase bookworm "$root" $mirror >"$work/debootstrap.log" 2>&1; then
        tail -5 "$work/debootstrap.log"
        echo "SKIP: debootstrap could not make a Debian 12 root (no mirror reachable?)"
        exit $skip
    fi
fi
cp /etc/resolv.conf "$root/etc/" 2>/dev/null
for m in proc dev dev/pts; do
    case $m in
        proc) mount -t proc proc "$root/proc" ;;
        *) mount --bind "/$m" "$root/$m" ;;
    esac || { echo "SKIP: cannot mount /$m in the root (no privilege for mounts here)"; exit $skip; }
    mounted+=("$root/$m")
done
in_root() { (exec_in_root "$@"); }
# exec: started in the background, $! is the command itself, which a kill reaches.
exec_in_root() { exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive "$@"; }

# The packages, and the same packages one version later (for the upgrade).
version=$(dpkg-deb -f "$(ls "$debs"/*.deb | head -1)" Version)
next="$version+check1"
mkdir -p "$root/debs/1" "$root/debs/2"
cp "$debs"/*.deb "$root/debs/1/"
for deb in "$debs"/*.deb; do
    x="$work/x"
    rm -rf "$x"
    dpkg-deb -R "$deb" "$x"
    sed -i -e "s/^Version: .*/Version: $next/" -e "s/(= $version)/(= $next)/g" "$x/DEBIAN/control"
    dpkg-deb -b "$x" "$root/debs/2/$(basename "${deb%%_*}")_${next}.deb" >/dev/null
done
packages=$(for deb in "$debs"/*.deb; do dpkg-deb -f "$deb" Package; done | tr '\n' ' ')

in_root apt-get update -qq >"$work/apt.log" 2>&1
check "apt-get install ./*.deb pulls every dependency from Debian" \
    in_root sh -c 'apt-get install -y -qq --no-install-recommends /debs/1/*.deb >>/tmp/apt.log 2>&1'
check "what the packages recommend is in Debian" \
    in_root sh -c 'apt-get install -s /debs/1/*.deb >/dev/null 2>&1'
# The units are checked with systemd's own tools (not a dependency here).
in_root apt-get install -y -qq --no-install-recommends systemd >>"$work/apt.log" 2>&1

check "upsctl --help works" in_root sh -c 'upsctl --help | grep -q "usage: upsctl"'
check "the library is found by the loader" in_root sh -c 'ldd /usr/lib/qxups/QXUPSUtility | grep -q "libQXUPSSDK.so.1 => /"'
check "the headers and pkg-config file serve a build" \
    in_root sh -c 'test -f /usr/include/QXUPSSDK.h && grep -q "^Libs: .*-lQXUPSSDK" /usr/lib/*/pkgconfig/qxupssdk.pc'

# The program, as root in the root file system, against upssim: it connects
# at start (AutoConnect) and stores samples in its history, in root's
# settings folder, never in the installed tree.
in_root sh -c 'mkdir -p /root/.config/Tarvel/UPS/configs /tmp/sim && chmod 700 /root &&
    chmod 700 /tmp/sim && printf "<Settings><Setting><ComPort>COM201</ComPort><AutoConnect>1</AutoConnect></Setting></Settings>" \
    >/root/.config/Tarvel/UPS/configs/config_com.xml'
mkfifo "$root/tmp/sim/ctl"
exec_in_root sh -c 'exec upssim --pty /tmp/sim/line --quit-on-eof </tmp/sim/ctl >/tmp/sim/out 2>&1' &
sim=$!
exec 3>"$root/tmp/sim/ctl"
for _ in $(seq 100); do [ -e "$root/tmp/sim/line" ] && break; sleep 0.1; done
before=$(cd "$root/usr/lib/qxups" && find . -printf '%p %s %T@\n' | sort)
exec_in_root env QXUPS_COM201=/tmp/sim/line QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/sim \
    HOME=/root QXUPSUtility >"$work/program.log" 2>&1 &
program=$!
db=/root/.config/Tarvel/UPS/history.sqlite
samples() { in_root upsctl history --db $db --csv 2>/dev/null | grep -c '^[0-9]'; }
connected=no
for _ in $(seq 60); do
    if [ -e "$root$db" ] && [ "$(samples)" -gt 0 ]; then connected=yes; break; fi
    sleep 1
done
check "the program connects to upssim and stores samples" test $connected = yes
kill -TERM $program 2>/dev/null; wait $program 2>/dev/null
after=$(cd "$root/usr/lib/qxups" && find . -printf '%p %s %T@\n' | sort)
check "the program wrote nothing into /usr/lib/qxups" test "$before" = "$after"
[ $connected = yes ] || cat "$work/program.log"

# upsctl --config: the service's settings file, as the example has it.
in_root sh -c 'mkdir -p /etc/qxups/monitor && sed "s|^device = .*|device = /tmp/sim/line|" \
    /usr/share/doc/qxups-tools/examples/monitor.conf >/etc/qxups/monitor/ups1.conf'
check "upsctl reads the example settings (--config)" \
    in_root sh -c 'upsctl --config /etc/qxups/monitor/ups1.conf status | grep -q "charge"'
check "the monitor's units pass systemd-analyze verify" in_root systemd-analyze verify --man=no \
    /lib/systemd/system/qxups-monitor@ups1.service /lib/systemd/system/qxups-poweroff@ups1.path \
    /lib/systemd/system/qxups-poweroff@ups1.service
check "the service is not enabled before it is configured" \
    test -z "$(find "$root/etc/systemd/system" -name 'qxups-*')"

# NUT: upsdrvctl finds the driver in /lib/nut without driverpath, and starts it.
printf '[ups1]\n  driver = qxups-nut\n  port = /tmp/sim/line\n' >"$root/etc/nut/ups.conf"
check "upsdrvctl -t start names /lib/nut/qxups-nut" \
    in_root sh -c 'upsdrvctl -t start ups1 2>&1 | grep -q "/lib/nut/qxups-nut"'
check "the user nut is in dialout" in_root sh -c 'id -nG nut | grep -qw dialout'
in_root sh -c 'mkdir -p /run/nut && chown root:nut /run/nut && chmod 770 /run/nut'
check "upsdrvctl starts qxups-nut" in_root sh -c "upsdrvctl start ups1 >/dev/null 2>&1"
check "the driver serves its socket" test -S "$root/run/nut/qxups-nut-ups1"
in_root upsdrvctl stop ups1 >/dev/null 2>&1
exec 3>&-
wait $sim 2>/dev/null

# Upgrade: the administrator's and the user's settings stay.
echo "# kept" >>"$root/etc/nut/ups.conf"
check "the packages upgrade" \
    in_root sh -c 'apt-get install -y -qq --no-install-recommends /debs/2/*.deb >>/tmp/apt.log 2>&1'
check "the upgrade keeps the settings" test -s "$root/etc/qxups/monitor/ups1.conf" -a \
    -s "$root/root/.config/Tarvel/UPS/configs/config_com.xml" -a -s "$root$db"
check "the upgrade keeps ups.conf" grep -q '^# kept' "$root/etc/nut/ups.conf"

# Purge: every file the packages installed goes, and what their scripts made.
files=$(in_root sh -c "for p in $packages; do dpkg -L \$p; done" | sort -u)
rm -f "$root/etc/qxups/monitor/ups1.conf"
check "apt-get purge removes the packages" in_root sh -c "apt-get purge -y -qq $packages >>/tmp/apt.log 2>&1"
left=$(while read -r f; do
    [ -n "$f" ] && [ -e "$root$f" ] && [ ! -d "$root$f" ] && echo "$f"
done <<<"$files")
check "no file of the packages is left" test -z "$left"
[ -z "$left" ] || echo "$left" | head -20
check "no folder of the packages is left" test ! -e "$root/etc/qxups" -a ! -e "$root/usr/lib/qxups" \
    -a ! -e "$root/var/lib/nut-driver-qxups" -a ! -e "$root/lib/nut/qxups-nut"
check "nut has left dialout again" in_root sh -c '! id -nG nut | grep -qw dialout'
[ $fail -eq 0 ] || { echo "--- apt log (tail)"; tail -20 "$root/tmp/apt.log"; }
exit $fail
