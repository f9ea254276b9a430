#!/usr/bin/env bash
# Installs what is missing, builds the project and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DQXUPS_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"

if [ -x build/bin/QXUPSUtility ]; then
    exec build/bin/QXUPSUtility "$@"
fi
echo "Built the library and tools in build/bin; the desktop program is not part of this build yet."
ls build/bin
