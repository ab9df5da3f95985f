#!/usr/bin/env bash
# Watch soak: torq-spi-cli watch on the simulated programmer (W25X10, chip kept in a file) while
# its file is changed, one change at a time, in ordinary and hostile ways: renamed over, written
# in place in chunks, copied with its old modification time kept (in place and by rename),
# emptied, made bigger than the chip, replaced by a FIFO, a folder or a link to /dev/zero; now and
# then a burst of such changes at 20-100 ms intervals ending on a good file. The line limit is on
# at 500 lines with a save file that cannot be written.
#
# Each change waits for its cycle and is judged:
#   wrong Pass   a Pass for a file that cannot be loaded, a Pass whose chip does not hold the
#                file's image, or a Pass with no load since the cycle before (goal 0);
#   hang         no cycle within 15 s of a change, or no end within 10 s of the interrupt
#                (goal 0); a watch blocked in the kernel says where (wchan);
#   missed       a good file that got no cycle (counted with the hangs);
#   wrong Fail   a good file whose cycle failed.
# Peak memory is the watch's resident size, sampled at every change (goal: flat).
#   bench/watch-soak.sh [BUILD_DIR] [SECONDS]       (default 120 s)
#   TORQ_SOAK_CLI=path/to/torq-spi-cli overrides the binary (to soak another build).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
seconds="${2:-120}"
cli="${TORQ_SOAK_CLI:-$build/bin/torq-spi-cli}"
if [ -z "${TORQ_SOAK_CLI:-}" ]; then
    cmake --build "$build" --target torq-spi-cli >/dev/null
fi

work="$(mktemp -d)"
watch_pid=""
cleanup() {
    [ -n "$watch_pid" ] && kill -KILL "$watch_pid" 2>/dev/null
    if [ -n "${TORQ_SOAK_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
home="$work/home"
mkdir -p "$home"
cp -r "$here/data/." "$home/"
"$cli" --home "$home" select Winbond W25X10 >/dev/null
chip_size=131072
chip="$work/chip.bin"
file="$work/fw.bin"
out="$work/watch.out"
# The line limit on, at its least, saving to a folder that does not exist.
cat >>"$home/History.ini" <<EOF
[Option]
InfoMessageLimit_Checked=1
InfoMessageLimit_Text=500
InfoMessageLimit_RChecked=1
InfoMessageLimitSaveFile_Text=$work/no-such-folder/trim.log
EOF

# An older image in the buffer, and a first file the watch must refuse (bigger than the chip).
head -c 4096 /dev/urandom >"$work/older.bin"
"$cli" --home "$home" load "$work/older.bin" --format bin --yes >/dev/null 2>&1
head -c $((chip_size + 1)) /dev/urandom >"$file"

changes=0
wrong_pass=0
hangs=0
missed=0
wrong_fail=0
cycles_seen=0
blocked=""
failed_kinds=""
rss_first=0
rss_peak=0
rss_last=0

# The image a good file leaves in the chip: its bytes, the rest erased.
expected_image() {
    local size
    size=$(stat -c %s "$1")
    cat "$1"
    head -c $((chip_size - size)) /dev/zero | tr '\0' '\377'
}
chip_holds() {
    expected_image "$1" | cmp -s - "$chip"
}
cycle_count() {
    grep -c '^Cycle ' "$out" 2>/dev/null || true
}
last_cycle() {
    grep '^Cycle ' "$out" | tail -n 1
}
sample_memory() {
    local rss
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$watch_pid/status" 2>/dev/null || echo 0)
    [ -z "$rss" ] && rss=0
    [ "$rss_first" = 0 ] && rss_first=$rss
    [ "$rss" -gt "$rss_peak" ] && rss_peak=$rss
    rss_last=$rss
}
# Waits for the cycle after `cycles_seen`; false (a hang) when none comes within 15 s.
wait_cycle() {
    local deadline=$((SECONDS + 15))
    while [ "$(cycle_count)" -le "$cycles_seen" ]; do
        if [ "$SECONDS" -ge "$deadline" ] || ! kill -0 "$watch_pid" 2>/dev/null; then
            local where
            where=$(cat "/proc/$watch_pid/wchan" 2>/dev/null || echo gone)
            blocked="$blocked $1:$where"
            return 1
        fi
        sleep 0.05
    done
    cycles_seen=$(cycle_count)
    return 0
}
# Waits until no new cycle has come for 2 s (a burst's changes are taken up); false after 30 s.
wait_quiet() {
    local deadline=$((SECONDS + 30)) count quiet_since=$SECONDS
    count=$(cycle_count)
    while [ $((SECONDS - quiet_since)) -lt 2 ]; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
        if [ "$(cycle_count)" != "$count" ]; then
            count=$(cycle_count)
            quiet_since=$SECONDS
        fi
    done
    [ "$count" -gt "$cycles_seen" ] || return 1
    cycles_seen=$count
    return 0
}
# A good file: random bytes, at most the chip's size.
new_content() {
    head -c $((1 + RANDOM * 4 % chip_size)) /dev/urandom >"$1"
}
clear_name() {
    rm -rf "$file"
}
good_change() {  # kind
    local next="$work/next.bin"
    case "$1" in
    rename)
        new_content "$next"
        mv -f "$next" "$file"
        ;;
    chunks)
        new_content "$next"
        clear_name
        : >"$file"
        local size chunk
        size=$(stat -c %s "$next")
        chunk=$(((size + 7) / 8))
        for i in 0 1 2 3 4 5 6 7; do
            dd if="$next" of="$file" bs="$chunk" skip="$i" seek="$i" count=1 conv=notrunc \
                status=none
            sleep 0.03
        done
        ;;
    same-time-in-place)
        # Same size and modification time, new bytes: only the change time moves.
        head -c "$(stat -c %s "$file")" /dev/urandom >"$next"
        touch -r "$file" "$next"
        cp -p "$next" "$file"
        ;;
    same-time-rename)
        new_content "$next"
        touch -r "$file" "$next"
        mv -f "$next" "$file"
        ;;
    esac
}
hostile_change() {  # kind
    case "$1" in
    empty) clear_name && : >"$file" ;;
    too-big) head -c $((chip_size + 1 + RANDOM)) /dev/urandom >"$work/big.bin" && clear_name &&
        mv -f "$work/big.bin" "$file" ;;
    fifo) clear_name && mkfifo "$file" ;;
    folder) clear_name && mkdir "$file" ;;
    dev-zero) clear_name && ln -s /dev/zero "$file" ;;
    esac
}
# The name holds a file that loads (a same-time copy takes its size and time).
is_good_file() {
    [ -f "$file" ] && [ ! -L "$file" ] && [ -s "$file" ] &&
        [ "$(stat -c %s "$file")" -le "$chip_size" ]
}
# A FIFO the watch is stuck opening is opened from this side to let it go; the count goes on from
# where the watch is.
release_fifo() {
    [ -p "$file" ] && timeout 1 sh -c ": >\"$file\"" 2>/dev/null
    cycles_seen=$(cycle_count)
}
# The cycle of a good file (waited: 0 when it came) must pass with the file's image in the chip.
judge_good() {  # kind waited
    if [ "$2" != 0 ]; then
        missed=$((missed + 1))
        release_fifo
        return
    fi
    case "$(last_cycle)" in
    *": Pass"*) chip_holds "$file" || wrong_pass=$((wrong_pass + 1)) ;;
    *)
        wrong_fail=$((wrong_fail + 1))
        failed_kinds="$failed_kinds $1"
        ;;
    esac
}
# Every Pass must follow a load of its own: the watch's log gives "IC checksum" for each load.
passes_without_load() {
    awk '/IC checksum=0x/ {loaded = 1}
         /^Cycle / {if ($3 == "Pass" && !loaded) n++; loaded = 0}
         END {print n + 0}' "$out"
}

"$cli" --home "$home" --simulate "W25X10,file=$chip" watch "$file" >"$out" 2>"$work/watch.err" &
watch_pid=$!
# The first cycle: the file is bigger than the chip, and the buffer holds an older image.
if wait_cycle first; then
    case "$(last_cycle)" in
    *": Pass"*) wrong_pass=$((wrong_pass + 1)) ;;
    esac
else
    hangs=$((hangs + 1))
fi
sample_memory

good_kinds=(rename chunks same-time-in-place same-time-rename)
hostile_kinds=(empty too-big fifo folder dev-zero)
end=$((SECONDS + seconds))
while [ "$SECONDS" -lt "$end" ] && kill -0 "$watch_pid" 2>/dev/null; do
    roll=$((RANDOM % 10))
    if [ "$roll" = 0 ]; then
        # A burst: changes faster than the watch looks, ending on a good file.
        for _ in 1 2 3 4 5; do
            if [ $((RANDOM % 2)) = 0 ]; then
                hostile_change "${hostile_kinds[RANDOM % ${#hostile_kinds[@]}]}"
            else
                clear_name
                good_change rename
            fi
            changes=$((changes + 1))
            sleep "0.0$((2 + RANDOM % 8))"
        done
        clear_name
        good_change rename
        changes=$((changes + 1))
        wait_quiet
        judge_good burst $?
    elif [ "$roll" -le 5 ]; then
        kind="${good_kinds[RANDOM % ${#good_kinds[@]}]}"
        if [ "${kind#same-time}" != "$kind" ] && ! is_good_file; then
            kind=rename  # the old time needs a good file to take it from
        fi
        [ "$kind" = rename ] && ! is_good_file && clear_name
        good_change "$kind"
        changes=$((changes + 1))
        wait_cycle "$kind"
        judge_good "$kind" $?
    else
        kind="${hostile_kinds[RANDOM % ${#hostile_kinds[@]}]}"
        # A second link to /dev/zero leads to the same device: nothing changed.
        [ "$kind" = dev-zero ] && [ -L "$file" ] && kind=folder
        cp "$chip" "$work/chip-before.bin"
        hostile_change "$kind"
        changes=$((changes + 1))
        if wait_cycle "$kind"; then
            case "$(last_cycle)" in
            *": Pass"*) wrong_pass=$((wrong_pass + 1)) ;;
            *) cmp -s "$chip" "$work/chip-before.bin" || wrong_pass=$((wrong_pass + 1)) ;;
            esac
        else
            hangs=$((hangs + 1))
            release_fifo
        fi
    fi
    sample_memory
done

kill -INT "$watch_pid" 2>/dev/null
ended=0
for _ in $(seq 100); do
    kill -0 "$watch_pid" 2>/dev/null || { ended=1; break; }
    sleep 0.1
done
if [ "$ended" = 0 ]; then
    hangs=$((hangs + 1))
    blocked="$blocked interrupt:$(cat "/proc/$watch_pid/wchan" 2>/dev/null)"
    kill -KILL "$watch_pid" 2>/dev/null
fi
wait "$watch_pid" 2>/dev/null
watch_pid=""
unloaded=$(passes_without_load)
wrong_pass=$((wrong_pass + unloaded))

cycles=$(cycle_count)
failed=$(grep -c '^Cycle .*: Fail' "$out" || true)
echo "Watch soak: ${seconds} s, $changes file changes, $cycles cycles ($failed failed as they should or not)"
echo "  wrong Passes: $wrong_pass (of which $unloaded without a load of their own; goal 0)"
echo "  hangs: $((hangs + missed)) (no cycle for a change: $missed good, $hangs hostile or at the end; goal 0)${blocked:+ blocked at:$blocked}"
echo "  good files whose cycle failed: $wrong_fail${failed_kinds:+ (after:$failed_kinds)}"
echo "  resident memory: first ${rss_first} KiB, peak ${rss_peak} KiB, last ${rss_last} KiB (goal: flat)"
grep -q 'Watch ended after' "$out" || echo "  the watch did not end cleanly"
[ "$wrong_pass" = 0 ] && [ "$hangs" = 0 ] && [ "$missed" = 0 ]
