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
# Skipped where arduino-builder, the core or simavr is missing
# (tests/common.sh).
set -euo pipefail
source "$(dirname "$0")/../common.sh"
tarvel=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
core=/usr/share/arduino/hardware/arduino

need "arduino-builder arduino-core-avr simavr" arduino-builder "$core/avr" simavr
scratch

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

uart atmega328p "$work/build/walk.ino.elf" "$work/uart.txt"
tr '\000-\037' '.' <"$work/host.txt" >"$work/want.txt"
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
