#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build, the
# Windows stage (the DLL cross-built and driven under Wine), a short pass of
# each fuzz target, the Debian packages (built, checked, installed into a
# fresh Debian 12 root, upgraded and purged), then the SDK, simulator, CLI
# and program tests
# under ASan+UBSan, and the SDK, simulator, CLI and the program's adapter and
# polling tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

# Network UPS Tools only for the driver's test, mingw-w64 and Wine only for the
# Windows stage, lintian and debootstrap only for the packages' check (run.sh
# installs none of them). Debian ships NUT with MODE=none in
# /etc/nut/nut.conf: its services and init scripts start no daemon then, and
# end successfully without an init system.
bash scripts/deps.sh nut-server nut-client g++-mingw-w64-x86-64-posix wine64 lintian debootstrap

jobs=$(nproc)
fuzz_seconds=${QXUPS_FUZZ_SECONDS:-15}

configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log"
        return 1
    }
    cmake --build "$dir" -j"$jobs"
}

status=0

echo "== Build and test"
configure_and_build build -DQXUPS_BUILD_TESTS=ON
(cd build && ctest --no-tests=error --output-on-failure -j2) || status=1

echo "== Windows stage: QXUPSSDK.dll and upsctl.exe cross-built, run under Wine against upssim"
bash scripts/test_windows.sh build build-win || status=1

# Fuzzing runs before the sanitizer suites so that ctest's summary closes the run.
if [ -d fuzz ] && [ -f fuzz/CMakeLists.txt ]; then
    echo "== Fuzz targets, ${fuzz_seconds} s each"
    bash scripts/fuzz.sh "$fuzz_seconds" || status=1
fi

# The check needs root for its root file system; elsewhere it says why it
# cannot run (exit 77) and the run goes on.
echo "== Debian packages: built, lintian, installed into a fresh Debian 12 root, upgraded, purged"
if bash scripts/package.sh >build-deb.log 2>&1; then
    package_rc=0
    bash tests/ship/package_check.sh build-deb || package_rc=$?
    if [ $package_rc -eq 77 ]; then
        echo "packages: check skipped (reason above)"
    elif [ $package_rc -ne 0 ]; then
        status=1
    fi
else
    tail -30 build-deb.log
    echo "packages: the build failed (build-deb.log)"
    status=1
fi

echo "== SDK, simulator, CLI, driver protocol and program tests under AddressSanitizer + UndefinedBehaviorSanitizer"
configure_and_build build-asan -DQXUPS_BUILD_TESTS=ON -DQXUPS_SANITIZE=address -DQXUPS_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --no-tests=error --output-on-failure -j2 -L 'sdk|sim|cli|driver|app|watch') || status=1

# The program's tests that hand over through Qt's queued delivery (inside the
# uninstrumented Qt libraries) would give false reports; app-tsan names those
# whose hand-offs are our own mutexes and atomics.
echo "== SDK, simulator, CLI and program adapter/polling tests under ThreadSanitizer"
configure_and_build build-tsan -DQXUPS_BUILD_TESTS=ON -DQXUPS_SANITIZE=thread -DQXUPS_BUILD_BENCH=OFF
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --no-tests=error --output-on-failure -j2 -L '^(sdk|sim|cli|app-tsan|watch)$') || status=1

exit $status
