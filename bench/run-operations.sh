#!/usr/bin/env bash
# Times a full write cycle and a full read of a 16 MiB 25-series chip: ours on the simulated
# programmer (the command-line tool, latency model off) against flashrom's dummy programmer
# emulating the same chip, on the same image, in one run. Also prints the USB transfers per MiB.
#   bench/run-operations.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cli="$build/bin/torq-spi-cli"
command -v flashrom >/dev/null || { echo "flashrom is missing (apt-get install flashrom)"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home"
cp -r "$here/data/." "$work/home/"
head -c $((16 * 1024 * 1024)) /dev/urandom > "$work/image.bin"

seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc -l; }

"$cli" --home "$work/home" select Winbond W25Q128FV >/dev/null
"$cli" --home "$work/home" load "$work/image.bin" --format bin --yes >/dev/null
sim="--simulate W25Q128FV,file=$work/chip.bin"
ours_write=$(seconds "$cli" --home "$work/home" $sim run erase,blank,program,verify)
ours_read=$(seconds "$cli" --home "$work/home" $sim read)
cmp -s "$work/home/output.tmp" "$work/image.bin" || { echo "our read-back differs from the image"; exit 1; }

# flashrom's emulated chip starts erased, as ours does.
head -c $((16 * 1024 * 1024)) /dev/zero | tr '\0' '\377' > "$work/flashrom-chip.bin"
fr="flashrom -p dummy:emulate=W25Q128FV,image=$work/flashrom-chip.bin"
theirs_write=$(seconds $fr -w "$work/image.bin")
theirs_read=$(seconds $fr -r "$work/flashrom-read.bin")
cmp -s "$work/flashrom-read.bin" "$work/image.bin" || { echo "flashrom's read-back differs"; exit 1; }

printf '%-34s %10s %10s %8s\n' "16 MiB W25Q128FV" "ours (s)" "flashrom" "ratio"
printf '%-34s %10.3f %10.3f %8.2f\n' "write (erase+blank+program+verify)" "$ours_write" "$theirs_write" "$(echo "$ours_write / $theirs_write" | bc -l)"
printf '%-34s %10.3f %10.3f %8.2f\n' "read" "$ours_read" "$theirs_read" "$(echo "$ours_read / $theirs_read" | bc -l)"
echo
"$build/bin/torq-operations-bench" "$here/data"
