#!/usr/bin/env bash
# Buffer benchmarks: generates the inputs in a temporary folder, runs ours, objcopy and srec_cat
# on the same files in one run, and prints the wall times, the ratios and our peak memory.
#   bench/run-buffer.sh [BUILD_DIR]      (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
bench="$build/bin/torq-buffer-bench"
[ -x "$bench" ] || { echo "build first: cmake --build $build --target torq-buffer-bench" >&2; exit 2; }
for tool in objcopy srec_cat /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
work="$(mktemp -d "${TMPDIR:-/tmp}/torq-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# measure NAME COMMAND...: wall time in seconds (into $seconds) and peak RSS in KiB (into $rss).
measure() {
    local name="$1"; shift
    local start end
    start=$(date +%s%N)
    /usr/bin/time -v -o time.txt "$@" >/dev/null 2>run.err || { echo "$name failed:" >&2; cat run.err >&2; exit 1; }
    end=$(date +%s%N)
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' time.txt)
    printf '  %-28s %8s s   peak RSS %7s KiB\n' "$name" "$seconds" "$rss"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
same() { cmp -s "$1" "$2" || { echo "  MISMATCH: $1 and $2 differ" >&2; exit 1; }; }

echo "generating inputs in $work"
head -c 16M /dev/urandom > image.bin
head -c 1M image.bin > small.bin
srec_cat image.bin -binary -o image.hex -intel -output_block_size=32
# 16 data bytes per record; no count record (above 65535 records it would be an S6 record).
srec_cat image.bin -binary -o image.s3 -motorola --address-length=4 -output_block_size=16 \
    -disable=data-count
head -c 256M /dev/urandom > big.bin
ls -l image.hex image.s3 | awk '{ printf "  %-10s %10d bytes\n", $9, $5 }'
cat image.hex image.s3 image.bin big.bin > /dev/null  # page cache

for format in intel s3; do
    if [ $format = intel ]; then file=image.hex; ours=intel; theirs=ihex; reader=-intel
    else file=image.s3; ours=motorola; theirs=srec; reader=-motorola; fi
    echo "decode 16 MiB from $file"
    measure "ours" "$bench" decode $ours $file ours.bin; t_ours=$seconds
    measure "objcopy -O binary" objcopy -I $theirs -O binary $file objcopy.bin; t_objcopy=$seconds
    measure "srec_cat -binary" srec_cat $file $reader -o srec.bin -binary; t_srec=$seconds
    same ours.bin image.bin; same objcopy.bin image.bin; same srec.bin image.bin
    echo "  objcopy/ours $(ratio $t_objcopy $t_ours)x   srec_cat/ours $(ratio $t_srec $t_ours)x"
done

echo "save 16 MiB as Motorola S3"
measure "ours" "$bench" save s3 image.bin 0 0xFFFFFF ours.s3; t_ours=$seconds
measure "objcopy -O srec --srec-forceS3" objcopy -I binary -O srec --srec-forceS3 --srec-len=32 \
    image.bin objcopy.s3; t_objcopy=$seconds
measure "srec_cat -motorola" srec_cat image.bin -binary -o srec.s3 -motorola --address-length=4 \
    -output_block_size=32; t_srec=$seconds
srec_cat ours.s3 -motorola -o back.bin -binary && same back.bin image.bin
echo "  objcopy/ours $(ratio $t_objcopy $t_ours)x   srec_cat/ours $(ratio $t_srec $t_ours)x"

echo "save 1 MiB as Intel HEX"
measure "ours" "$bench" save intel image.bin 0 0xFFFFF ours.hex; t_ours=$seconds
measure "objcopy -O ihex" objcopy -I binary -O ihex small.bin objcopy.hex; t_objcopy=$seconds
measure "srec_cat -intel" srec_cat small.bin -binary -o srec.hex -intel; t_srec=$seconds
srec_cat ours.hex -intel -o back.bin -binary && same back.bin small.bin
echo "  objcopy/ours $(ratio $t_objcopy $t_ours)x   srec_cat/ours $(ratio $t_srec $t_ours)x"

echo "checksum of 256 MiB from the page cache"
cat big.bin > /dev/null
measure "cat > /dev/null" cat big.bin; t_cat=$seconds
measure "ours" "$bench" checksum big.bin; t_ours=$seconds
echo "  our speed / cat's speed $(ratio $t_cat $t_ours)"

echo "peak memory on a 256 MiB device"
measure "load 40 MB Intel HEX" "$bench" load image.hex buffer.tmp 268435456
measure "load 256 MiB binary" "$bench" load big.bin buffer.tmp 268435456
measure "save 16 MiB S3 of it" "$bench" save s3 buffer.tmp 0 0xFFFFFF ours.s3
measure "checksum of it" "$bench" checksum buffer.tmp

echo "load of a 16 GiB sparse file on an 8 MiB device (asked first; Yes reads it whole)"
truncate -s 16G sparse.img
measure "load, checksum of 16 GiB" "$bench" load sparse.img buffer.tmp 8388608
"$bench" load sparse.img buffer.tmp 8388608 2>/dev/null | sed 's/^/  /'
