#!/usr/bin/env bash
# Builds the sketch walk/ as the Arduino IDE does, with Debian's
# arduino-builder and Arduino AVR core, for an Uno: its pages in the
# sketch's html/ folder, tarvel -z run there, the header beside walk.ino.
# simavr runs the sketch, and what it prints on the UART must be what the
# same sketch, built for the host from the builder's own preprocessed
# source, prints.
#
#   check.sh TARVEL PAGE...
#
# Exits 77, which the test reports as skipped, where arduino-builder, the
# core or simavr is missing, unless TARVEL_NO_SKIP is set (as in CI): then
# that is a failure.
set -euo pipefail
source "$(dirname "$0")/../skip.sh"
tarvel=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
core=/usr/share/arduino/hardware/arduino

if ! command -v arduino-builder >/dev/null || [ ! -d "$core/avr" ] || ! command -v simavr >/dev/null; then
    skip "arduino-builder, the Arduino AVR core or simavr is missing, so the sketch cannot be built and run (apt-get install arduino-builder arduino-core-avr simavr)"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The Arduino IDE's way: pages in html/, tarvel run there.
cp -r "$here/walk" "$work/walk"
mkdir "$work/walk/html"
cp "$@" "$work/walk/html"
(cd "$work/walk/html" && "$tarvel" -z >/dev/null)

# Debian's core has no platform.txt for the builder's own tools (ctags) and
# misses DECIMAL_DIG: both are packaging faults outside tarvel.
mkdir -p "$work/hardware" "$work/build"
cp /usr/share/arduino-builder/platform.txt "$work/hardware/"
ln -s "$core" "$work/hardware/arduino"
arduino-builder -compile -hardware "$work/hardware" -tools /usr/bin -fqbn arduino:avr:uno \
    -build-path "$work/build" -prefs=compiler.cpp.extra_flags=-DDECIMAL_DIG=17 \
    "$work/walk/walk.ino"

# The sketch as the builder made it a C++ file, prototypes and all.
g++ -std=gnu++11 -Wall -Wextra -Werror -I"$here/host" -I"$work/walk" -x c++ \
    "$work/build/sketch/walk.ino.cpp" -x none "$here/host/main.cpp" -o "$work/host"
"$work/host" >"$work/host.txt"

# simavr logs the UART on standard error, a line at a time in colour, with
# every byte below 32 (the line ends too) shown as '.'.
timeout 120 simavr -m atmega328p -f 16000000 "$work/build/walk.ino.elf" 2>"$work/uart.log" >/dev/null
sed -n '/\x1b\[32m/,$p' "$work/uart.log" | sed 's/\x1b\[[0-9]*m//g' | tr -d '\n' >"$work/uart.txt"
tr '\000-\037' '.' <"$work/host.txt" | tr -d '\n' >"$work/want.txt"
if cmp -s "$work/uart.txt" "$work/want.txt"; then
    echo "the sketch printed in simavr what its host build prints: $(grep -c '^/' "$work/host.txt") pages"
    exit 0
fi
echo "the sketch printed in simavr:"
cat "$work/uart.txt"
echo
echo "but its host build prints:"
cat "$work/want.txt"
echo
exit 1
