#!/usr/bin/env bash
# Builds the fuzz targets (RTU and ASCII receive paths, the simulator's and the
# program's register table readers, the program's config_com.xml,
# config_product.xml and config_Language.xml readers, the NUT driver's socket
# protocol, the NUT client's answer parser) with clang under ASan+UBSan and
# runs each for the given number of seconds (default 60) on a copy of its
# seed corpus.
#   bash scripts/fuzz.sh 60
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DQXUPS_BUILD_FUZZ=ON -DQXUPS_BUILD_TESTS=OFF \
    -DQXUPS_BUILD_BENCH=OFF -DQXUPS_SANITIZE=address >"$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log"
    exit 1
}
cmake --build "$dir" -j"$(nproc)" --target fuzz_rtu_receive fuzz_ascii_receive fuzz_register_table \
    fuzz_link_files fuzz_language_list fuzz_register_model fuzz_nut_line fuzz_nut_answer

status=0
for target in rtu_receive ascii_receive register_table link_files language_list register_model \
    nut_line nut_answer; do
    corpus="$dir/corpus-$target"
    seeds="fuzz/corpus/${target%_receive}"
    # A target without its seeds would only fuzz from scratch and look fine.
    if ! compgen -G "$seeds/*" >/dev/null; then
        echo "fuzz_${target}: no seed corpus in $seeds" >&2
        status=1
        continue
    fi
    mkdir -p "$corpus"
    for seed in "$seeds"/*; do
        [ -e "$corpus/${seed##*/}" ] || cp "$seed" "$corpus"/
    done
    echo "fuzz_${target}: ${seconds} s"
    if ! "$dir/bin/fuzz_${target}" -max_total_time="$seconds" -print_final_stats=1 \
        "$corpus" >"$dir/fuzz_$target.log" 2>&1; then
        tail -50 "$dir/fuzz_$target.log"
        status=1
    else
        grep -E 'stat::number_of_executed_units|Done' "$dir/fuzz_$target.log" || true
    fi
done
exit $status
