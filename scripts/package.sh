#!/usr/bin/env bash
# Builds the Debian packages (debian/) in a copy of the tree and leaves the
# .deb files in build-deb/. Installs the build dependencies first, skipping
# those already installed; uses sudo when not run as root.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-deb"

# The build dependencies are read from debian/control, so the list has one home.
tools=(dpkg-dev debhelper fakeroot)
build_deps=$(sed -n '/^Build-Depends:/,/^[A-Z][A-Za-z-]*:/p' "$root/debian/control" |
    sed -e '1s/^Build-Depends://' -e '/^[A-Z][A-Za-z-]*:/d' |
    tr ',' '\n' | sed -e 's/([^)]*)//g' -e 's/[[:space:]]//g' -e '/^$/d' -e 's/^debhelper-compat$/debhelper/')
packages=("${tools[@]}" $build_deps)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "package: installing ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A copy of the tracked and new files (not build trees), so that the build's
# obj-*/ and debian/tmp stay out of the working tree and the packages show
# the tree as it is, committed or not.
work="$out/src"
rm -rf "$work"
mkdir -p "$work/qxups"
if command -v git >/dev/null && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf -) | tar -xf - -C "$work/qxups"
else
    # Without git (a tree unpacked from an archive, a machine without it):
    # everything but what .gitignore names.
    (cd "$root" && tar --exclude='./.git' --exclude='./build*' --exclude='./out' \
        --exclude='./fuzz/corpus-*' --exclude='./*.configure.log' --exclude='*.user' -cf - .) |
        tar -xf - -C "$work/qxups"
fi

# ccache, when the machine has one, through the compiler launcher.
if command -v ccache >/dev/null && [ -n "${CCACHE_DIR:-}" ]; then
    export DEB_CMAKE_EXTRA_ARGS="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
(cd "$work/qxups" && dpkg-buildpackage -us -uc -b -j"$(nproc)")

# The debug symbols go to build-deb/debug/, so that "apt-get install
# ./build-deb/*.deb" takes the packages alone.
rm -rf "$out"/debug
rm -f "$out"/*.deb "$out"/*.buildinfo "$out"/*.changes
mkdir -p "$out"/debug
mv "$work"/*-dbgsym_*.deb "$out"/debug/ 2>/dev/null || true
mv "$work"/*.deb "$out"/
mv "$work"/*.buildinfo "$work"/*.changes "$out"/ 2>/dev/null || true
rm -rf "$work"
echo "package: built"
ls -1 "$out"/*.deb
