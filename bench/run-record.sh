#!/usr/bin/env bash
# The production record: a record's write with its commit (what a run waits for before its
# verdict), then on a million records the report, the production log's first pages with and
# without filters, and the bytes per record; last, `torq-spi-cli record report` on that database
# from process start to end. The database is written to a scratch folder (a few hundred MiB).
#   bench/run-record.sh [BUILD_DIR] [RECORDS]      (default: build, 1000000)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
records="${2:-1000000}"
bench="$build/bin/torq-record-bench"
cli="$build/bin/torq-spi-cli"
[ -x "$bench" ] && [ -x "$cli" ] || {
    echo "build first: cmake --build $build --target torq-record-bench torq-spi-cli" >&2
    exit 2
}
work="$(mktemp -d "${TMPDIR:-/tmp}/torq-record-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$bench" "$work" "$records"
# The command-line report on the same records, from a home folder holding them.
home="$work/home"
mkdir -p "$home"
cp -r "$here/data/." "$home/"
mv "$work/million.db" "$home/production.db"
start=$(date +%s.%N)
"$cli" --home "$home" record report >/dev/null
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" 'BEGIN { printf "torq-spi-cli record report: %.0f ms from start to end (goal: under 1 s)\n", (e - s) * 1000 }'
