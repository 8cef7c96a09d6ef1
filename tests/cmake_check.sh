#!/usr/bin/env bash
# Builds a small firmware project that uses tarvel_header, with Make and
# with Ninja: a page given by a path relative to the project, with a space
# in it, is converted; a change that leaves the header's bytes as they were
# converts once and then leaves the build with nothing to do; a real change
# reaches the program.
#
#   cmake_check.sh TARVEL TARVEL_CMAKE
#
# Skipped where Ninja is missing (tests/common.sh).
set -euo pipefail
source "$(dirname "$0")/common.sh"
tarvel=$1 helper=$2

need ninja-build ninja
scratch

project=$work/project
mkdir -p "$project/web pages"
cat >"$project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(firmware LANGUAGES CXX)
include("$helper")
add_executable(firmware main.cpp)
tarvel_header(firmware "web pages/one.html")
target_compile_definitions(firmware PRIVATE PROGMEM=)
CMAKE
cat >"$project/main.cpp" <<'CPP'
#include <cstdio>
#include "htmls.h"
int main() { fputs(one_html, stdout); }
CPP

# Builds, and prints what the build converted: one line per conversion.
build() {
    cmake --build "$1" | { grep -c "Converting the pages" || true; }
}
expect() {
    if [ "$2" != "$3" ]; then
        echo "$generator: $1: got '$2', wanted '$3'"
        exit 1
    fi
}

for generator in "Unix Makefiles" Ninja; do
    printf '<p>one</p>\n' >"$project/web pages/one.html"
    rm -rf "$work/build"
    cmake -S "$project" -B "$work/build" -G "$generator" -DTARVEL_PROGRAM="$tarvel" >/dev/null
    expect "first build converts" "$(build "$work/build")" 1
    expect "the page" "$("$work/build/firmware")" "<p>one</p>"
    sleep 1 # a file system may keep times in seconds
    printf '    <p>one</p>\n' >"$project/web pages/one.html"
    expect "a change converts" "$(build "$work/build")" 1
    expect "a build after a change that left the header alone" "$(build "$work/build")" 0
    printf '<p>two</p>\n' >"$project/web pages/one.html"
    expect "a real change converts" "$(build "$work/build")" 1
    expect "the changed page" "$("$work/build/firmware")" "<p>two</p>"
    expect "a build after it" "$(build "$work/build")" 0
    echo "$generator: converts when a page changes, and only then"
done
