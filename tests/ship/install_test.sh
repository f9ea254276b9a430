#!/usr/bin/env bash
# The installed tree runs from a prefix its user cannot write: installed as
# root, started as an unprivileged user, the program finds its data beside
# itself and writes its settings into that user's settings folder only.
# usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
skip=77

if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
    echo "SKIP: needs root and setpriv to install as root and run as another user"
    exit $skip
fi

# Everything the user runs must be reachable by it, whatever root's umask and
# wherever the build lies (a clone in root's 0700 home): the prefix is a
# world-readable temporary folder, and the user's commands start in it.
umask 022
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
cd "$tmp"
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || {
    cat "$tmp/install.log"
    exit 1
}

fail=0
check() { # description, command...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}

for f in bin/QXUPSUtility bin/upsctl lib/qxups/libQXUPSSDK.so lib/qxups/upssim lib/qxups/qxups-nut \
    lib/qxups/configs/config_product.xml lib/qxups/Language/QXUPSUtility_en_US.qm \
    lib/qxups/help/help.ini share/applications/QXUPSUtility.desktop \
    share/icons/hicolor/48x48/apps/QXUPSUtility.png; do
    check "installed $f" test -e "$prefix/$f"
done
check "no tests, fuzzers or benchmarks installed" \
    test -z "$(find "$prefix" -name '*_test' -o -name 'fuzz_*' -o -name 'bench_*' -o -name helpgen)"
check "the installed program has no test hook" \
    test "$(grep -c QXUPS_TEST_ "$prefix/lib/qxups/QXUPSUtility")" -eq 0

# Libraries are found beside the binary only: an empty RUNPATH element would
# be the current folder, from which a planted library would load.
runpath() { readelf -d "$1" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p'; }
for f in QXUPSUtility upsctl upssim qxups-nut libQXUPSSDK.so; do
    check "RUNPATH of $f in the build tree is \$ORIGIN" test "$(runpath "$build/bin/$f")" = '$ORIGIN'
    check "RUNPATH of $f installed is \$ORIGIN" test "$(runpath "$prefix/lib/qxups/$f")" = '$ORIGIN'
done

# The user: nobody, with a home of its own.
user=65534
home=$tmp/home
mkdir -p "$home/run"
chmod 700 "$home/run"
chown -R $user:$user "$home"
# A plain command line, so that a background start's $! is the program itself.
as_user=(setpriv --reuid=$user --regid=$user --clear-groups
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/.config"
    XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen)
check "the prefix is not writable for the user" "${as_user[@]}" test ! -w "$prefix/lib/qxups"

snapshot() { (cd "$prefix" && find . -printf '%p %s %T@ %u\n' | sort); }
before=$(snapshot)

check "upsctl runs through its bin link" "${as_user[@]}" "$prefix/bin/upsctl" --help >/dev/null

# The program writes the language choice (help/select.ini) at start, once it
# has read the language list from its data folder, and makes configs/ when
# its window is built, later. Run by the user, and by root, who could write
# the installed tree but must not: the package manager owns it.
run_program() { # who, settings folder, command...
    local who=$1 settings=$2
    shift 2
    "$@" "$prefix/bin/QXUPSUtility" >"$tmp/program.log" 2>&1 &
    local program=$!
    for _ in $(seq 600); do
        [ -s "$settings/help/select.ini" ] && [ -d "$settings/configs" ] && break
        kill -0 $program 2>/dev/null || break
        sleep 0.1
    done
    check "the program is still running ($who)" kill -0 $program
    kill -TERM $program 2>/dev/null || true
    wait $program 2>/dev/null || true
    check "the program has ended ($who)" test ! -e /proc/$program
    check "select.ini written to the settings folder ($who)" grep -q '^Language=' "$settings/help/select.ini"
    check "configs/ made in the settings folder ($who)" test -d "$settings/configs"
}
run_program user "$home/.config/Tarvel/UPS" "${as_user[@]}"
roothome=$tmp/roothome
mkdir -m 700 -p "$roothome/run"
run_program root "$roothome/.config/Tarvel/UPS" env -i PATH=/usr/bin:/bin HOME="$roothome" \
    XDG_CONFIG_HOME="$roothome/.config" XDG_RUNTIME_DIR="$roothome/run" QT_QPA_PLATFORM=offscreen
after=$(snapshot)
check "nothing under the prefix changed" test "$before" = "$after"
if [ $fail -ne 0 ]; then
    echo "--- program output"
    cat "$tmp/program.log"
    diff <(echo "$before") <(echo "$after") || true
fi
exit $fail
