#!/usr/bin/env bash
# Builds tests/avr/firmware.cpp for an ATmega2560 around a generated header
# and checks that each page's array sits in flash, as large as the host
# build of the same source makes it; then runs the firmware in simavr and
# compares what it prints with what the host build prints.
#
#   check.sh HOST_BUILD HEADER_FOLDER FIRMWARE_SOURCE [-DTWINS | -DFILES]
#
# The firmware walks the header's list of pages and uses only their raw
# strings, so no twin may be left in it; with -DTWINS, only the twins, and no
# raw string may be left in it; with -DFILES, the arrays of the list of
# files, and no twin.
#
# Skipped where the toolchain or simavr is missing (tests/common.sh).
set -euo pipefail
source "$(dirname "$0")/../common.sh"
host=$1 include=$2 source=$3
shift 3

need "gcc-avr avr-libc binutils-avr simavr" avr-g++ avr-objdump simavr
scratch

# avr-g++ 5.4 needs gnu++11 for raw strings.
avr-g++ -std=gnu++11 -mmcu=atmega2560 -Os -Wall -Wextra -Werror "$@" -I"$include" "$source" \
    -o "$work/firmware.elf"
"$host" >"$work/host.txt"
avr-objdump -t "$work/firmware.elf" >"$work/symbols.txt"

# The host build's first lines: each array's name and size.
failed=0
while read -r name size; do
    [ "$name" = "--" ] && break
    # section and size of the array; its C++ name may be mangled (_ZL9crlf_html)
    read -r section bytes < <(awk -v re="(^|[0-9])${name}\$" \
        '$NF ~ re { print $(NF - 2), $(NF - 1) }' "$work/symbols.txt")
    if [ "${section:-}" != .text ] || [ $((16#${bytes:-0})) -ne "$size" ]; then
        echo "${name}: in section '${section:-}' with 0x${bytes:-0} bytes; want .text with $size"
        failed=1
    else
        echo "${name}: $size bytes in flash"
    fi
    # The other array of the page, which the firmware does not use.
    other=${name%_gz}
    [ "$other" = "$name" ] && other=${name}_gz
    if grep -Eq "(^|[0-9 ])${other}\$" "$work/symbols.txt"; then
        echo "${other}: in flash, though the firmware uses only ${name}"
        failed=1
    fi
done <"$work/host.txt"

uart atmega2560 "$work/firmware.elf" "$work/uart.txt"
tr '\000-\037' '.' <"$work/host.txt" >"$work/want.txt"
if cmp -s "$work/uart.txt" "$work/want.txt"; then
    echo "the simulated firmware printed every page as the host build reads it"
else
    echo "the simulated firmware printed:"
    cat "$work/uart.txt"
    echo
    echo "but the host build reads:"
    cat "$work/want.txt"
    echo
    failed=1
fi
# A file named by TARVEL_BINARY (a PNG) must have come out of flash as the
# bytes it holds on disk.
if [ -n "${TARVEL_BINARY:-}" ]; then
    bytes=$(od -An -v -tx1 "$TARVEL_BINARY" | tr -d ' \n')
    if grep -q "\.$(stat -c %s "$TARVEL_BINARY"):$bytes\." "$work/uart.txt"; then
        echo "$(basename "$TARVEL_BINARY"): printed out of flash byte for byte"
    else
        echo "$(basename "$TARVEL_BINARY"): not printed as its bytes"
        failed=1
    fi
fi
exit "$failed"
