#!/usr/bin/env bash
# Reliability figures: fault injection over every transfer and memory over many cycles
# (torq-reliability-bench), then two and three torq-spi-cli processes writing one home folder at
# the same time (loads and selects), round after round: a buffer that is not exactly one of the
# images written counts as corrupted; then the watch soak (bench/watch-soak.sh): torq-spi-cli
# watch while its file is replaced in hostile ways, with its wrong Passes, hangs and memory.
#   bench/run-reliability.sh [BUILD_DIR] [ROUNDS] [SOAK_SECONDS]   (soak: 120 s by default)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
rounds="${2:-40}"
soak_seconds="${3:-120}"
cmake --build "$build" --target torq-reliability-bench torq-spi-cli >/dev/null
"$build/bin/torq-reliability-bench" "$here/data" 200 || true

cli="$build/bin/torq-spi-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
home="$work/home"
mkdir -p "$home"
cp -r "$here/data/." "$home/"
"$cli" --home "$home" select Winbond W25X10 >/dev/null
size=131072
for i in 1 2 3; do
    head -c "$size" /dev/urandom > "$work/image$i.bin"
done

echo
echo "Concurrent writers on one home folder ($rounds rounds each)"
for writers in 2 3; do
    corrupted=0
    refused=0
    for round in $(seq "$rounds"); do
        pids=()
        for i in $(seq "$writers"); do
            "$cli" --home "$home" load "$work/image$i.bin" --format bin --yes \
                >/dev/null 2>"$work/err$i" &
            pids+=($!)
        done
        for i in "${!pids[@]}"; do
            wait "${pids[$i]}" || refused=$((refused + 1))
        done
        ok=0
        for i in $(seq "$writers"); do
            cmp -s "$home/output.tmp" "$work/image$i.bin" && ok=1
        done
        # Every load refused: the buffer keeps the previous round's image.
        [ "$ok" = 1 ] || cmp -s "$home/output.tmp" "$work/last.bin" 2>/dev/null || \
            corrupted=$((corrupted + 1))
        cp "$home/output.tmp" "$work/last.bin"
    done
    echo "  $writers concurrent loads: $rounds rounds, $refused refused (folder in use), corrupted buffers: $corrupted"
done

corrupted=0
refused=0
for round in $(seq "$rounds"); do
    "$cli" --home "$home" select Winbond W25X10 >/dev/null 2>&1 &
    a=$!
    "$cli" --home "$home" select Winbond W25X20 >/dev/null 2>&1 &
    b=$!
    wait "$a" || refused=$((refused + 1))
    wait "$b" || refused=$((refused + 1))
    type=$(sed -n 's/^Type=//p' "$home/History.ini" | tr -d '\r')
    want=$([ "$type" = W25X20 ] && echo 262144 || echo 131072)
    got=$(stat -c %s "$home/output.tmp")
    erased=$(tr -d '\377' < "$home/output.tmp" | wc -c)
    if [ "$got" != "$want" ] || [ "$erased" != 0 ]; then
        corrupted=$((corrupted + 1))
    fi
done
echo "  2 concurrent selects: $rounds rounds, $refused refused (folder in use), buffers not erased at the selected size: $corrupted"

echo
"$here/bench/watch-soak.sh" "$build" "$soak_seconds" || true
