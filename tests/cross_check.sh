#!/usr/bin/env bash
# tarvel builds for a processor without the x86 compares, as a Raspberry
# Pi's (aarch64): the plain loops alone, warnings as errors.
#
#   cross_check.sh SOURCE_FOLDER DEFINE...
set -euo pipefail
. "$(dirname "$0")/common.sh"
need g++-aarch64-linux-gnu aarch64-linux-gnu-g++
scratch
source=$1
shift
# libdeflate's header is the same on every processor.
cp /usr/include/libdeflate.h "$work/"
for file in "$source"/*.cpp; do
    aarch64-linux-gnu-g++ -std=c++17 -O2 -Wall -Wextra -Werror -I"$work" "$@" \
        -DTARVEL_VERSION='"cross"' -c "$file" -o "$work/$(basename "$file" .cpp).o"
done
echo "every file of $(basename "$source")/ builds for aarch64"
