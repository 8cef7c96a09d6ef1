#!/usr/bin/env bash
# Builds tests/avr/firmware.cpp for an ATmega2560 around a generated header
# and checks that each page's array sits in flash, as large as the host
# build of the same source makes it; then, where simavr is installed, runs
# the firmware and compares what it prints with what the host build prints.
#
#   check.sh HOST_BUILD HEADER_FOLDER FIRMWARE_SOURCE [-DTWINS]
#
# The firmware walks the header's list of pages and uses only their raw
# strings, so no twin may be left in it; with -DTWINS, only the twins, and no
# raw string may be left in it.
#
# Exits 77, which the test reports as skipped, when the toolchain is missing,
# unless TARVEL_NO_SKIP is set (as in CI): then that is a failure.
set -euo pipefail
source "$(dirname "$0")/../skip.sh"
host=$1 include=$2 source=$3
shift 3

for tool in avr-g++ avr-objdump; do
    if ! command -v "$tool" >/dev/null; then
        skip "$tool is missing, so the firmware check cannot run (apt-get install gcc-avr avr-libc binutils-avr)"
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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

if ! command -v simavr >/dev/null; then
    echo "simavr is missing (apt-get install simavr): the firmware was not run"
    [ -n "${TARVEL_NO_SKIP:-}" ] && failed=1
    exit "$failed"
fi
# simavr logs the UART on standard error, a line at a time in colour, with
# every byte below 32 (the line feeds too) shown as '.'.
timeout 60 simavr -m atmega2560 -f 16000000 "$work/firmware.elf" 2>"$work/uart.log" >/dev/null
sed -n '/\x1b\[32m/,$p' "$work/uart.log" | sed 's/\x1b\[[0-9]*m//g' | tr -d '\n' >"$work/uart.txt"
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
exit "$failed"
