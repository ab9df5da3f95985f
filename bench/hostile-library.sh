#!/usr/bin/env bash
# Tries hostile device-library and History.ini cases against the command-line tool and prints how
# each ended: exit code, seconds, peak memory, files written, and the tool's last message.
#   bench/hostile-library.sh [BUILD_DIR]
# Every case runs in a fresh copy of the sample library, under a time limit and a file-size limit
# (so a tool that tried to fill the disk is stopped and shows as killed).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cli="$(cd "$build" && pwd)/bin/torq-spi-cli"
[ -x "$cli" ] || { echo "no $cli: build the torq-spi-cli target first"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
limit_seconds=30
limit_file_kib=$((256 * 1024))
limit_memory_kib=$((4 * 1024 * 1024))

fresh() {  # a new home holding the sample library, and a folder outside it
    rm -rf "$work/home" "$work/outside"
    mkdir -p "$work/home" "$work/outside"
    cp -r "$here/data/." "$work/home/"
    cp "$work/home/Drv/SPI_25_33V.drv" "$work/outside/x_25.drv"
    printf '[CurrentUserPage]\nTotal=1\n[CurrentUserPage_0]\nComponentTotal=1\nComponentType0=0\n' \
        >"$work/outside/p.ini"
    cp "$work/home/Sector/AT26DF081A.txt" "$work/outside/t.txt"
}

set_key() {  # set_key FILE KEY VALUE: replace the key's line, or add it to the file's section
    local file="$1" key="$2" value="$3" escaped
    escaped=$(printf '%s' "$value" | sed 's/[\\|&]/\\&/g')
    if grep -q "^$key=" "$file"; then
        sed -i "s|^$key=.*|$key=$escaped\r|" "$file"
    else
        printf '%s=%s\r\n' "$key" "$value" >>"$file"
    fi
}

# run NAME COMMAND...: one command against the home, with its outcome on one line.
run() {
    local name="$1"
    shift
    local start end code rss last
    start=$(date +%s.%N)
    (
        ulimit -f "$limit_file_kib"
        ulimit -v "$limit_memory_kib"
        exec /usr/bin/time -f "%M" -o "$work/rss" timeout -s KILL "$limit_seconds" "$@"
    ) >"$work/out" 2>"$work/err" </dev/null
    code=$?
    end=$(date +%s.%N)
    rss=$(tail -1 "$work/rss" 2>/dev/null)
    case $code in
    124 | 137) code="killed (time limit)" ;;
    153) code="killed (file-size limit)" ;;
    esac
    last=$(grep -v '^\s*$' "$work/err" | grep -v 'Command exited\|Command terminated' | tail -1)
    # Without a message on stderr: the log's error line, else its last line before the total time.
    [ -z "$last" ] && last=$(grep 'Error : ' "$work/out" | tail -1)
    [ -z "$last" ] && last=$(grep -v '^\s*$' "$work/out" | grep -v 'Finished with total time' | tail -1)
    printf '%-44s exit %-4s %6.2f s %7s KiB  %s\n' "$name" "$code" "$(echo "$end - $start" | bc -l)" \
        "${rss:-?}" "${last:0:110}"
}

files_note() {  # the sizes of the writable files, for cases that may write too much
    local note=""
    for f in output.tmp Menu.ini History.ini; do
        [ -e "$work/home/$f" ] && note="$note $f=$(stat -c %s "$work/home/$f")"
    done
    echo "    files:${note:- none}"
}

home=(--home "$work/home")

echo "== Select.ini that is not a small regular file"
fresh && ln -sf /dev/zero "$work/home/Select.ini" && run "Select.ini -> /dev/zero" "$cli" "${home[@]}" library
fresh && rm "$work/home/Select.ini" && mkfifo "$work/home/Select.ini" && run "Select.ini is a FIFO" "$cli" "${home[@]}" library
fresh && head -c $((2 * 1024 * 1024)) /dev/zero | tr '\0' ';' >>"$work/home/Select.ini" &&
    run "Select.ini of 2 MiB" "$cli" "${home[@]}" library

echo "== paths leading out of the library"
fresh && sed -i 's|^W25X10=.*|W25X10=../../../../etc/passwd|' "$work/home/Select.ini" &&
    run "Select.ini W25X10=../../../../etc/passwd" "$cli" "${home[@]}" select Winbond W25X10
fresh && set_key "$work/home/Ini/W25X10.ini" UserWav "../../outside/x_25.drv" &&
    run "UserWav=../../outside/x_25.drv: select" "$cli" "${home[@]}" select Winbond W25X10 &&
    run "UserWav=../../outside/x_25.drv: erase" "$cli" "${home[@]}" --simulate W25X10 erase
fresh && set_key "$work/home/Ini/W25Q64FV.ini" Menu "../../outside/p.ini" && set_key "$work/home/Ini/W25Q64FV.ini" prot_mode 1 &&
    run "Menu=../../outside/p.ini: select" "$cli" "${home[@]}" select Winbond W25Q64FV &&
    run "Menu=../../outside/p.ini: pages" "$cli" "${home[@]}" --simulate W25Q64FV pages
fresh && set_key "$work/home/Ini/AT26DF081A.ini" Sector_table "../outside/t.txt" &&
    run "Sector_table=../outside/t.txt: select" "$cli" "${home[@]}" select Atmel AT26DF081A &&
    run "Sector_table=../outside/t.txt: protect" "$cli" "${home[@]}" --simulate AT26DF081A protect
fresh && ln -s "$work/outside" "$work/home/Linked" && set_key "$work/home/Ini/W25Q64FV.ini" Menu 'Linked\p.ini' &&
    run "Menu=Linked\\p.ini (link to outside)" "$cli" "${home[@]}" select Winbond W25Q64FV
fresh && set_key "$work/home/Ini/W25Q64FV.ini" Menu "Menu/$(printf 'x%.0s' {1..300}).ini" &&
    run "Menu= a name too long for the filesystem" "$cli" "${home[@]}" select Winbond W25Q64FV

echo "== page files"
fresh && {
    printf '[CurrentUserPage]\nTotal=1024\n'
    for p in $(seq 0 1023); do printf '[CurrentUserPage_%d]\nComponentTotal=1024\n' "$p"; done
    printf '[CurrentUserPageSetup]\n'
    for p in $(seq 0 1023); do printf 'Page%dCom0Set=1\n' "$p"; done
} >"$work/home/Menu/SR1_SR2.ini" && set_key "$work/home/Ini/W25Q64FV.ini" Menu 'Menu\SR1_SR2.ini' &&
    run "page file of 1024 x 1024 components: select" "$cli" "${home[@]}" select Winbond W25Q64FV && files_note

echo "== device records the operations cannot work with"
fresh && set_key "$work/home/Ini/AT45DB041D.ini" Page_Size 0x7FFFFFFF &&
    run "DataFlash Page_Size=0x7FFFFFFF: select" "$cli" "${home[@]}" select Atmel AT45DB041D &&
    run "DataFlash Page_Size=0x7FFFFFFF: erase" "$cli" "${home[@]}" --simulate AT45DB041D erase --skip-id
fresh && set_key "$work/home/Ini/AT45DB041D.ini" Page_Size 1 &&
    run "DataFlash Page_Size=1: select" "$cli" "${home[@]}" select Atmel AT45DB041D &&
    run "DataFlash Page_Size=1: erase" "$cli" "${home[@]}" --simulate AT45DB041D erase --skip-id
fresh && set_key "$work/home/Ini/W25X10.ini" max_address_Hi 0xFFFFFFFF && set_key "$work/home/Ini/W25X10.ini" max_address_Low 0xFFFFFFFF &&
    run "DeviceSize 2^64-1: select" "$cli" "${home[@]}" select Winbond W25X10 && files_note
fresh && set_key "$work/home/Ini/W25X10.ini" max_address_Hi 0x100 && set_key "$work/home/Ini/W25X10.ini" max_address_Low 0x00000000 &&
    run "DeviceSize 1 TiB: select" "$cli" "${home[@]}" select Winbond W25X10 && files_note
fresh && sed -i '/^max_address_/d' "$work/home/Ini/W25X10.ini" &&
    run "DeviceSize 0: select" "$cli" "${home[@]}" select Winbond W25X10 &&
    run "DeviceSize 0: run erase,blank,program,verify" "$cli" "${home[@]}" --simulate W25X10 run erase,blank,program,verify

echo "== History.ini"
fresh && printf '[Device1]\r\nVendor=Winbond\r\n\0\r\n[Option]\r\nResetTime_Text=700\r\n[Device2]\r\nType=X\r\n' >"$work/home/History.ini" &&
    cp "$work/home/History.ini" "$work/history.before" &&
    run "NUL byte after [Device1]: select" "$cli" "${home[@]}" select Winbond W25X10 &&
    { cmp -s "$work/home/History.ini" "$work/history.before" && echo "    History.ini left as it was" ||
        echo "    History.ini changed: $(grep -c 'Option' "$work/home/History.ini") [Option] line(s) left"; }
fresh && mkfifo "$work/home/History.ini" && run "History.ini is a FIFO: select" "$cli" "${home[@]}" select Winbond W25X10

echo "== the current folder deleted under a relative --home"
fresh && mkdir -p "$work/gone" && (cd "$work/gone" && rmdir "$work/gone" && run "--home rel in a deleted folder" "$cli" --home rel library)
