#!/usr/bin/env bash
# Compiles the README's firmware snippets where they say they run. For the
# ESP8266, with Debian's xtensa-lx106 GCC and the Arduino core's flags for a
# NodeMCU board: the header of tarvel -z in two source files, each with the
# README's table of pages and one of its snippets, against stand-ins of the
# servers' classes (stand-ins/, which declare the real overloads); every
# page's twin and raw string must sit in a flash section (.irom.text.*,
# which the core's linker script puts in .irom0.text). For the ESP32, with
# g++: the same, ESPAsyncWebServer 3.x in the form the README gives for it.
# Last, two faults that the stand-ins must catch: a count that is no size_t
# for collectHeaders on the ESP8266, and the _P calls of ESPAsyncWebServer
# 3.x on an ESP32, which are deprecated there.
#
#   check.sh TARVEL README PAGE...
#
# Skipped where gcc-xtensa-lx106 is missing (tests/common.sh).
set -euo pipefail
source "$(dirname "$0")/../common.sh"
tarvel=$1 readme=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

need gcc-xtensa-lx106 xtensa-lx106-elf-g++ xtensa-lx106-elf-objdump
scratch

# The README's snippets: each ```cpp block after a <!-- snippet: NAME --> line.
awk -v dir="$work" '
    /^<!-- snippet: / { name = $3; next }
    name && /^```cpp/ { out = dir "/" name ".inc"; next }
    out && /^```/ { close(out); out = ""; name = ""; next }
    out { print > out }' "$readme"
for name in table async webserver; do
    [ -s "$work/$name.inc" ] || { echo "the README has no snippet '$name'"; exit 1; }
done
mkdir -p "$work/pages/p"
cp "$@" "$work/pages/p"
(cd "$work/pages/p" && "$tarvel" -z >/dev/null)

# source FILE SNIPPET SERVER_HEADER: a source file of the firmware.
source_file() {
    printf '#include <Arduino.h>\n#include <%s>\n#include "table.inc"\n#include "%s.inc"\n' \
        "$3" "$2" >"$work/$1"
}
esp8266=(xtensa-lx106-elf-g++ -D__ets__ -DICACHE_FLASH -U__STRICT_ANSI__ -D_GNU_SOURCE -DESP8266
    -DARDUINO=10819 -DARDUINO_ESP8266_NODEMCU_ESP12E -DARDUINO_ARCH_ESP8266 -DF_CPU=80000000L
    -Os -g -free -fipa-pta -Werror=return-type -mlongcalls -mtext-section-literals -fno-rtti
    -falign-functions=4 -std=gnu++17 -ffunction-sections -fdata-sections -fno-exceptions)
esp32=(g++ -DESP32 -DARDUINO_ARCH_ESP32 -Os -std=gnu++17 -fno-rtti -fno-exceptions)
# compile COMPILER... -- SOURCE OBJECT [DEFINE...]
compile() {
    local args=()
    while [ "$1" != -- ]; do args+=("$1"); shift; done
    local source=$2 object=$3
    shift 3
    "${args[@]}" "$@" -Wall -Wextra -Werror -I"$here/stand-ins" -I"$work/pages" -I"$work" \
        -c "$work/$source" -o "$work/$object"
}

failed=0
# The ESP8266 names its server ESP8266WebServer; the README says how.
using=$(grep -o 'using WebServer = ESP8266WebServer;' "$readme" | head -n 1)
cat <(echo "$using") "$work/webserver.inc" >"$work/webserver_esp8266.inc"
source_file async.cpp async ESPAsyncWebServer.h
source_file webserver.cpp webserver_esp8266 ESP8266WebServer.h
for version in 1.2 3.x; do
    define=$([ $version = 3.x ] && echo -DASYNC_3 || echo -DASYNC_1)
    compile "${esp8266[@]}" -- async.cpp async.o "$define" ||
        { echo "ESP8266: the ESPAsyncWebServer $version snippet does not compile"; failed=1; }
done
compile "${esp8266[@]}" -- webserver.cpp webserver.o ||
    { echo "ESP8266: the ESP8266WebServer snippet does not compile"; failed=1; }

# Every page's arrays in flash, in both source files; the table in RAM.
ids=$(grep -o 'PAGE("[^"]*", [A-Za-z0-9_]*' "$work/pages/htmls.h" | sed 's/.*, //')
for object in async.o webserver.o; do
    [ -e "$work/$object" ] || continue
    xtensa-lx106-elf-objdump -t "$work/$object" >"$work/symbols.txt"
    for id in $ids; do
        for array in "$id" "${id}_gz"; do
            section=$(awk -v re="(^|[0-9])${array}\$" '$NF ~ re { print $(NF - 2) }' "$work/symbols.txt")
            if [[ "$section" != .irom.text.* ]]; then
                echo "ESP8266 $object: $array in section '$section', not in flash"
                failed=1
            fi
        done
    done
    ram=$(xtensa-lx106-elf-size -A "$work/$object" |
        awk '$1 ~ /^\.(rodata|data)/ { sum += $2 } END { print sum + 0 }')
    echo "ESP8266 $object: every array of the $(wc -w <<<"$ids") pages in flash;" \
        "$ram bytes of .rodata, kept in RAM: the table, its paths and ETags, the snippet's strings"
done

source_file async.cpp async ESPAsyncWebServer.h
compile "${esp32[@]}" -- async.cpp async32.o -DASYNC_1 ||
    { echo "ESP32: the ESPAsyncWebServer 1.2 snippet does not compile"; failed=1; }
sed -e 's/beginResponse_P(/beginResponse(/' -e 's/send_P(/send(/' "$work/async.inc" >"$work/async3.inc"
source_file async3.cpp async3 ESPAsyncWebServer.h
compile "${esp32[@]}" -- async3.cpp async3.o -DASYNC_3 ||
    { echo "ESP32: the ESPAsyncWebServer 3.x snippet does not compile"; failed=1; }
source_file webserver32.cpp webserver WebServer.h
compile "${esp32[@]}" -- webserver32.cpp webserver32.o ||
    { echo "ESP32: the WebServer snippet does not compile"; failed=1; }
[ "$failed" = 0 ] && echo "ESP32: both snippets compile, ESPAsyncWebServer 1.2 and 3.x"

# What the stand-ins must refuse, as the real libraries do.
sed 's|sizeof wanted / sizeof \*wanted|1|' "$work/webserver_esp8266.inc" >"$work/count.inc"
source_file count.cpp count ESP8266WebServer.h
if compile "${esp8266[@]}" -- count.cpp count.o 2>/dev/null; then
    echo "ESP8266: collectHeaders(wanted, 1) compiles, where the core's variadic form refuses it"
    failed=1
fi
if compile "${esp32[@]}" -- async.cpp async_p.o -DASYNC_3 2>/dev/null; then
    echo "ESP32: the _P calls compile without a warning with ESPAsyncWebServer 3.x"
    failed=1
fi
[ "$failed" = 0 ] && echo "the stand-ins refuse a count that is no size_t and 3.x's _P calls on an ESP32"
exit "$failed"
