#!/usr/bin/env bash
# Compiles every example sketch (examples/NAME/NAME.ino, with its UI in
# examples/NAME/ui) as the Arduino IDE does, with the header of tarvel -a -z
# of its UI, and the README's table with it. For the ESP8266 with Debian's
# xtensa-lx106 GCC and the core's flags for a NodeMCU, where objdump must
# find every array in a flash section (.irom.text.*, which the core's linker
# script puts in .irom0.text), once where a second source file includes the
# header too, and their bytes must be what tarvel says the files cost; for
# the ESP32 with g++. The cores and libraries are stand-ins
# (stand-ins/) that declare what the real headers bring into scope, the
# names of FS.h among them; ESPAsyncWebServer both as 1.2 and as 3.x. Last,
# faults that must not build: a table named File, which collides with the
# cores' own, a count for collectHeaders that is no size_t, the _P calls of
# 3.x on an ESP32, and a UI over its flash budget.
#
#   check.sh TARVEL README EXAMPLES
#
# Where TARVEL_ESP8266_CORE names a checkout of the ESP8266 Arduino core
# 3.x, TARVEL_ASYNC_WEBSERVER and TARVEL_ASYNC_TCP ones of ESPAsyncWebServer
# and ESPAsyncTCP, and TARVEL_ESP8266_SYSTEM_INCLUDES the flags that find
# the C and C++ library headers of the core's toolchain, the ESP8266 builds
# use them instead of the stand-ins. Skipped where gcc-xtensa-lx106 is
# missing (tests/common.sh).
set -euo pipefail
source "$(dirname "$0")/../common.sh"
tarvel=$1 readme=$2 examples=$3
here=$(cd "$(dirname "$0")" && pwd)

need gcc-xtensa-lx106 xtensa-lx106-elf-g++ xtensa-lx106-elf-objdump xtensa-lx106-elf-ld
scratch

# The README's table: the ```cpp block after <!-- snippet: table -->.
awk '/^<!-- snippet: table -->/ { on = 1; next } on && /^```cpp/ { next }
     on && /^```/ { exit } on { print }' "$readme" >"$work/table.inc"
[ -s "$work/table.inc" ] || { echo "the README has no table snippet"; exit 1; }

# Each sketch as the IDE builds it, Arduino.h first, beside the header of
# its UI; and its faults.
for ino in "$examples"/*/*.ino; do
    name=$(basename "$ino" .ino)
    mkdir -p "$work/$name"
    cp -r "$(dirname "$ino")/ui" "$work/$name/ui"
    (cd "$work/$name/ui" && "$tarvel" -a -z >"$work/$name/cost.txt")
    { echo '#include <Arduino.h>'; cat "$ino"; } >"$work/$name/$name.cpp"
done
fault() { sed "$2" "$work/$1/$1.cpp" >"$work/$1/$3.cpp"; }
fault webserver 's/UiFile/File/g' file_struct
fault webserver 's|sizeof wanted / sizeof \*wanted|2|' count
fault webserver 's/<= 100000/<= 100/' small_budget
fault async 's/#define BEGIN_FROM_FLASH beginResponse$/#define BEGIN_FROM_FLASH beginResponse_P/' p_calls
{ echo '#include <Arduino.h>'; echo '#include <ESP8266WebServer.h>'; cat "$work/table.inc"; } \
    >"$work/webserver/readme.cpp"
# A second source file of the firmware that names every array too.
{ echo '#include <Arduino.h>'; echo '#include "htmls.h"'
  echo '#define NAMES(path, type, data, len, gz, gz_len, etag) data, (const char *)gz, etag,'
  echo 'const char *const second[] = {tarvel_files(NAMES) nullptr};'; } >"$work/webserver/second.cpp"

esp8266=(xtensa-lx106-elf-g++ -D__ets__ -DICACHE_FLASH -U__STRICT_ANSI__ -D_GNU_SOURCE -DESP8266
    -DARDUINO=10819 -DARDUINO_ESP8266_NODEMCU_ESP12E -DARDUINO_ARCH_ESP8266 -DF_CPU=80000000L
    -Os -g -free -fipa-pta -Werror=return-type -mlongcalls -mtext-section-literals -fno-rtti
    -falign-functions=4 -std=gnu++17 -ffunction-sections -fdata-sections -fno-exceptions)
esp32=(g++ -DESP32 -DARDUINO_ARCH_ESP32 -Os -std=gnu++17 -fno-rtti -fno-exceptions)
stand_ins=(-I"$here/stand-ins")
real=${TARVEL_ESP8266_CORE:-}
if [ -n "$real" ]; then
    # The core's own headers, and the flags of its platform.txt and of a
    # NodeMCU in its boards.txt that they need.
    esp8266+=(-DNONOSDK22x_190703=1 -DLWIP_OPEN_SRC -DTCP_MSS=536 -DLWIP_FEATURES=1 -DLWIP_IPV6=0
        -DFLASHMODE_DIO -DMMU_IRAM_SIZE=0x8000 -DMMU_ICACHE_SIZE=0x8000)
    # System headers, as the IDE's warnings "none" takes them: the libraries'
    # own warnings are theirs.
    real_includes=()
    for folder in tools/sdk/include tools/sdk/lwip2/include cores/esp8266 variants/nodemcu \
        libraries/ESP8266WiFi/src libraries/ESP8266WebServer/src libraries/Hash/src; do
        real_includes+=(-isystem "$real/$folder")
    done
    real_includes+=(-isystem "${TARVEL_ASYNC_WEBSERVER:?names no ESPAsyncWebServer}/src"
        -isystem "${TARVEL_ASYNC_TCP:?names no ESPAsyncTCP}/src")
    # shellcheck disable=SC2206 # flags, one word each
    real_includes+=(${TARVEL_ESP8266_SYSTEM_INCLUDES:?names no C and C++ library headers})
    echo "ESP8266 builds against the core and libraries in $real, $TARVEL_ASYNC_WEBSERVER, $TARVEL_ASYNC_TCP"
fi

# builds TARGET SKETCH SOURCE VERSION: compiles SKETCH/SOURCE.cpp for
# TARGET, against ESPAsyncWebServer VERSION where it says, into
# SKETCH/SOURCE-TARGET.o.
builds() {
    local -n compiler=$1
    local includes=("${stand_ins[@]}")
    if [ "$1" = esp8266 ] && [ -n "$real" ]; then
        includes=("${real_includes[@]}")
    else
        [ "$4" = 3.x ] && includes+=(-DASYNC_3)
    fi
    "${compiler[@]}" -Wall -Wextra -Werror "${includes[@]}" -I"$work/$2" -c "$work/$2/$3.cpp" \
        -o "$work/$2/$3-$1.o"
}

failed=0
while read -r want target sketch source version; do
    # The real core's ESP8266 builds take the library checked out, of one version.
    [ -n "$real" ] && [ "$target" = esp8266 ] && [ "$version" = 3.x ] && continue
    if builds "$target" "$sketch" "$source" "$version" 2>"$work/errors.txt"; then
        got=builds
    else
        got=refused
    fi
    label=" ${version#-}"
    [ -n "$real" ] && [ "$target" = esp8266 ] && label=""
    echo "$target, $sketch/$source${label% }: $got"
    if [ "$got" != "$want" ]; then
        echo "  where it must be $want"
        cat "$work/errors.txt"
        failed=1
    fi
done <<'ROWS'
builds  esp8266 webserver webserver    -
builds  esp8266 webserver readme       -
builds  esp8266 webserver second       -
builds  esp8266 async     async         1.2
builds  esp8266 async     async         3.x
builds  esp32   webserver webserver    -
builds  esp32   async     async         1.2
builds  esp32   async     async         3.x
refused esp8266 webserver file_struct  -
refused esp8266 webserver count        -
refused esp32   webserver small_budget -
refused esp32   async     p_calls       3.x
ROWS

# Every array of the list in flash, each file as its smaller form alone, so
# that their bytes (each with its terminating zero) are what tarvel said
# they cost, and once only where two source files name them: the linker
# keeps one of each (a relocatable link of both, as the firmware's does);
# the table in RAM.
xtensa-lx106-elf-ld -r "$work/webserver/webserver-esp8266.o" "$work/webserver/second-esp8266.o" \
    -o "$work/webserver/both-esp8266.o"
for sketch in webserver async; do
    object=$work/$sketch/$sketch-esp8266.o
    [ "$sketch" = webserver ] && object=$work/$sketch/both-esp8266.o
    [ -e "$object" ] || continue
    header=$work/$sketch/htmls.h
    arrays=$(grep -o 'FILE("[^"]*", "[^"]*", [A-Za-z0-9_]*, [A-Za-z0-9_]*, [A-Za-z0-9_]*' "$header" |
        awk -F', ' '{ if ($3 != "nullptr") print $3; if ($5 != "nullptr") print $5 }' | sort -u)
    xtensa-lx106-elf-objdump -t "$object" >"$work/symbols.txt"
    bytes=0
    for array in $arrays; do
        read -r section size copies < <(awk -v re="(^|[0-9])${array}\$" '$NF ~ re && $0 !~ /\*UND\*/ {
            n++; s = $(NF - 2); z = $(NF - 1) } END { print s, z, n + 0 }' "$work/symbols.txt")
        if [ "$copies" != 1 ]; then
            echo "$sketch: $array in the object $copies times"
            failed=1
        fi
        if [[ "${section:-}" != .irom.text.* ]]; then
            echo "$sketch: $array in section '${section:-}', not in flash"
            failed=1
        fi
        bytes=$((bytes + 16#${size:-0} - 1))
    done
    cost=$(grep -o '[0-9,]* in flash' "$work/$sketch/cost.txt" | tr -d ,)
    ram=$(xtensa-lx106-elf-size -A "$object" |
        awk '$1 ~ /^\.(rodata|data)/ { sum += $2 } END { print sum + 0 }')
    if [ "$bytes in flash" != "$cost" ]; then
        echo "$sketch: $bytes bytes of arrays in flash, where tarvel said $cost"
        failed=1
    else
        echo "$sketch: every array in flash, $cost as tarvel said; $ram bytes of .rodata, kept in RAM"
    fi
done
exit "$failed"
