#!/usr/bin/env bash
# Execute All on 1, 2 and 4 simulated programmers at once in real-time mode (a 16 MiB chip each,
# the chips' own times and the one shared USB 2.0 bus): wall time, chips per hour, modelled bus
# time, the starting thread's turns and the peak memory of each, then the four units' speed-up
# against one. A 16 MiB run takes a few minutes; TORQ_BENCH_CHIP picks another chip (W25Q16DV:
# 2 MiB, quicker).
#   bench/run-gang.sh [BUILD_DIR]      (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
bench="$build/bin/torq-gang-bench"
[ -x "$bench" ] || { echo "build first: cmake --build $build --target torq-gang-bench" >&2; exit 2; }
chip="${TORQ_BENCH_CHIP:-W25Q128FV}"
declare -A wall
for units in 1 2 4; do
    out="$("$bench" "$here/data" "$units" "$chip")"
    echo "$out"
    echo
    wall[$units]="$(sed -n 's/^wall time: \([0-9.]*\) s.*/\1/p' <<<"$out")"
done
awk -v one="${wall[1]}" -v four="${wall[4]}" 'BEGIN {
    printf "4 units: %.2fx the wall time of one (goal: at most 1.15x), %.2fx the chips per hour (goal: at least 3.5x)\n",
        four / one, 4 * one / four }'
