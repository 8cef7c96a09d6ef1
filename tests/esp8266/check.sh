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
for name in table budget async webserver spa_async spa_webserver; do
    [ -s "$work/$name.inc" ] || { echo "the README has no snippet '$name'"; exit 1; }
done
mkdir -p "$work/pages/p"
cp "$@" "$work/pages/p"
(cd "$work/pages/p" && "$tarvel" -a -z >/dev/null)

# The ESP8266 names its server ESP8266WebServer, which the README says how
# to use; ESPAsyncWebServer 3.x reads without _P; a count that is no size_t.
using=$(grep -o 'using WebServer = ESP8266WebServer;' "$readme" | head -n 1)
cat <(echo "$using") "$work/webserver.inc" "$work/spa_webserver.inc" >"$work/webserver_esp8266.inc"
cat "$work/webserver.inc" "$work/spa_webserver.inc" >"$work/webserver_esp32.inc"
sed -e 's/beginResponse_P(/beginResponse(/' "$work/async.inc" | cat - "$work/spa_async.inc" >"$work/async3.inc"
cat "$work/async.inc" "$work/spa_async.inc" >"$work/async_all.inc"
sed 's|sizeof wanted / sizeof \*wanted|1|' "$work/webserver_esp8266.inc" >"$work/count.inc"
# A UI over its budget must not build.
sed 's/<= 1000000/<= 1000/' "$work/budget.inc" >"$work/small_budget.inc"

esp8266=(xtensa-lx106-elf-g++ -D__ets__ -DICACHE_FLASH -U__STRICT_ANSI__ -D_GNU_SOURCE -DESP8266
    -DARDUINO=10819 -DARDUINO_ESP8266_NODEMCU_ESP12E -DARDUINO_ARCH_ESP8266 -DF_CPU=80000000L
    -Os -g -free -fipa-pta -Werror=return-type -mlongcalls -mtext-section-literals -fno-rtti
    -falign-functions=4 -std=gnu++17 -ffunction-sections -fdata-sections -fno-exceptions)
esp32=(g++ -DESP32 -DARDUINO_ARCH_ESP32 -Os -std=gnu++17 -fno-rtti -fno-exceptions)

# builds TARGET SNIPPET SERVER VERSION: compiles a source file of the
# firmware, the table and SNIPPET.inc with the stand-in SERVER.h (of
# ESPAsyncWebServer VERSION), for TARGET, into SNIPPET-TARGET.o.
builds() {
    local -n compiler=$1
    printf '#include <Arduino.h>\n#include <%s.h>\n#include "table.inc"\n#include "%s.inc"\n#include "%s.inc"\n' \
        "$3" "${5:-budget}" "$2" >"$work/$2.cpp"
    "${compiler[@]}" $([ "$4" = 3.x ] && echo -DASYNC_3) -Wall -Wextra -Werror \
        -I"$here/stand-ins" -I"$work/pages" -I"$work" -c "$work/$2.cpp" -o "$work/$2-$1.o"
}

failed=0
while read -r want target snippet server version budget; do
    if builds "$target" "$snippet" "$server" "$version" "$budget" 2>"$work/errors.txt"; then
        got=builds
    else
        got=refused
    fi
    echo "$target, $snippet.inc with $server ${version#-}${budget:+, $budget}: $got"
    if [ "$got" != "$want" ]; then
        echo "  where it must be $want"
        cat "$work/errors.txt"
        failed=1
    fi
done <<'ROWS'
builds  esp8266 async_all         ESPAsyncWebServer 1.2
builds  esp8266 async_all         ESPAsyncWebServer 3.x
builds  esp8266 webserver_esp8266 ESP8266WebServer  -
builds  esp32   async_all         ESPAsyncWebServer 1.2
builds  esp32   async3            ESPAsyncWebServer 3.x
builds  esp32   webserver_esp32   WebServer         -
refused esp8266 count             ESP8266WebServer  -
refused esp32   async_all         ESPAsyncWebServer 3.x
refused esp32   webserver_esp32   WebServer         -   small_budget
ROWS

# Every file's arrays in flash, its twin's too, in both source files; the
# table in RAM.
arrays=$(grep -o 'FILE("[^"]*", "[^"]*", [A-Za-z0-9_]*, [A-Za-z0-9_]*, [A-Za-z0-9_]*' \
    "$work/pages/htmls.h" | awk -F', ' '{ print $3; if ($5 != "nullptr") print $5 }' | sort -u)
files=$(grep -c '^    FILE("[^"]*[^/]", ' "$work/pages/htmls.h")
for object in async_all-esp8266.o webserver_esp8266-esp8266.o; do
    [ -e "$work/$object" ] || continue
    xtensa-lx106-elf-objdump -t "$work/$object" >"$work/symbols.txt"
    for array in $arrays; do
        section=$(awk -v re="(^|[0-9])${array}\$" '$NF ~ re { print $(NF - 2) }' "$work/symbols.txt")
        if [[ "$section" != .irom.text.* ]]; then
            echo "$object: $array in section '$section', not in flash"
            failed=1
        fi
    done
    ram=$(xtensa-lx106-elf-size -A "$work/$object" |
        awk '$1 ~ /^\.(rodata|data)/ { sum += $2 } END { print sum + 0 }')
    echo "$object: every array of the $files files ($(wc -w <<<"$arrays") arrays) in flash;" \
        "$ram bytes of .rodata, kept in RAM: the table, its paths, types and ETags, the snippet's strings"
done
exit "$failed"
