#!/usr/bin/env bash
# The main window's benchmarks on the simulated programmer, under a virtual display when there is
# none: process start to the first painted window (and to the window ready, chip detected) over
# ten starts, and during Execute All on a 16 MiB chip in real-time mode the longest interval in
# which the window processed no events. The real-time run takes the chip's own times (a few
# minutes for 16 MiB), once on one programmer and once on four at once (with the peak memory of
# each); TORQ_BENCH_CHIP picks another chip (W25Q16DV: 2 MiB, quicker).
#   bench/run-app.sh [BUILD_DIR]      (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
bench="$build/bin/torq-app-bench"
[ -x "$bench" ] || { echo "build first: cmake --build $build --target torq-app-bench torq-spi" >&2; exit 2; }
work="$(mktemp -d "${TMPDIR:-/tmp}/torq-app-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

display() {
    if [ -n "${DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
        "$@"
    else
        xvfb-run -a -s "-screen 0 1280x800x24" "$@"
    fi
}
home() {
    local dir
    dir="$(mktemp -d "$work/home.XXXXXX")"
    cp -r "$here/data/." "$dir/"
    echo "$dir"
}

echo "Start-up (W25Q64FV on the simulated programmer):"
display "$bench" startup --program "$build/bin/torq-spi" --home "$(home)" --runs 10
echo "Responsiveness during Execute All:"
# The simulated chips keep their content in files: the peak memory is the window's own.
display "$bench" latency --home "$(home)" \
    --simulate "${TORQ_BENCH_CHIP:-W25Q128FV},realtime=1,file=$work/one.bin"
echo "Responsiveness during Execute All on four programmers at once:"
display "$bench" latency --home "$(home)" \
    --simulate "${TORQ_BENCH_CHIP:-W25Q128FV}*4,realtime=1,file=$work/four.bin"
