#!/usr/bin/env bash
# Builds a small firmware project that uses tarvel_header, with Make and
# with Ninja: a page given by a path relative to the project, with a space
# in it, is converted; a change that leaves the header's bytes as they were
# converts once and then leaves the build with nothing to do; a real change
# reaches the program; a deleted header is made again. A FOLDER of pages
# whose names CMake cannot hold converts as tarvel converts it, and a build
# that changes nothing compiles nothing. A page tarvel would not take, and a
# preview folder that is none, stop the configure step.
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
mkdir -p "$project/web pages" "$project/site pages"
# Names that a CMake list or its check files cannot hold; and one that
# tarvel leaves out.
odd='q"b\\s;${x} p.html'
printf '<p>odd</p>\n' >"$project/site pages/$odd"
printf '<p>index</p>\n' >"$project/site pages/index.html"
printf 'draft\n' >"$project/site pages/.draft.html"
cat >"$project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(firmware LANGUAGES CXX)
include("$helper")
add_executable(firmware main.cpp)
tarvel_header(firmware "web pages/one.html")
target_compile_definitions(firmware PRIVATE PROGMEM=)
add_executable(site site.cpp)
tarvel_header(site GZIP FOLDER "site pages")
target_compile_definitions(site PRIVATE PROGMEM=)
CMAKE
cat >"$project/main.cpp" <<'CPP'
#include <cstdio>
#include "htmls.h"
int main() { fputs(one_html, stdout); }
CPP
cat >"$project/site.cpp" <<'CPP'
#include <cstdio>
#include "htmls.h"
#define PAGE(path, raw, gz, gz_len, etag) printf("%s %s", path, raw);
int main() { tarvel_pages(PAGE) }
CPP
site_was=$(printf '/index.html <p>index</p>\n/%s <p>odd</p>\n' "$odd")

# Builds, and prints what the build converted: one line per conversion
# of the firmware's pages; compiles() the objects it compiled.
build() {
    cmake --build "$1" | { grep -c "Converting the pages of firmware" || true; }
}
compiles() {
    cmake --build "$1" | { grep -c "Building CXX" || true; }
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
    rm "$work/build/firmware_htmls/htmls.h"
    expect "a deleted header is made again" "$(build "$work/build")" 1
    expect "the page after it" "$("$work/build/firmware")" "<p>two</p>"
    echo "$generator: converts when a page changes, and only then"

    expect "the folder's pages" "$("$work/build/site")" "$site_was"
    expect "a build that changes nothing compiles" "$(compiles "$work/build")" 0
    printf '<p>new</p>\n' >"$project/site pages/index.html"
    expect "a changed page in the folder compiles" "$(compiles "$work/build")" 1
    expect "the folder's changed page" "$("$work/build/site" | head -c 22)" "/index.html <p>new</p>"
    printf '<p>index</p>\n' >"$project/site pages/index.html"
    rm "$work/build/site_htmls/htmls.h"
    expect "a build after the folder's header was deleted" "$(compiles "$work/build")" 1
    expect "the folder's header made again" "$("$work/build/site")" "$site_was"
    echo "$generator: a folder of any names converts as tarvel converts it"
done

# What the configure step refuses, and the message that names it.
refuses() {
    local what=$1 wanted=$2
    shift 2
    if got=$(cmake "$@" 2>&1); then
        echo "$what: configured"
        exit 1
    fi
    # CMake wraps its messages: compared as one line.
    expect "$what" "$(tr -s '[:space:]' ' ' <<<"$got" | grep -c -F "$wanted")" 1
}
generator=configure
for page in .draft.html setup.htm; do
    cat >"$project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(firmware LANGUAGES CXX)
include("$helper")
add_executable(firmware main.cpp)
tarvel_header(firmware GZIP "web pages/ok.html" "web pages/$page")
CMAKE
    refuses "$page" "web pages/$page is no page tarvel takes" \
        -S "$project" -B "$work/refused" -DTARVEL_PROGRAM="$tarvel"
    rm -rf "$work/refused"
done
sed -i 's|tarvel_header(firmware GZIP .*|tarvel_header(firmware ASSETS "web pages/.draft.css")|' \
    "$project/CMakeLists.txt"
refuses "a dot-file among the files of ASSETS" "web pages/.draft.css is no file tarvel takes" \
    -S "$project" -B "$work/refused" -DTARVEL_PROGRAM="$tarvel"
rm -rf "$work/refused"
sed -i 's|tarvel_header(firmware ASSETS .*|tarvel_header(firmware FOLDER .)|' "$project/CMakeLists.txt"
refuses "a folder that holds the build tree" "FOLDER $project holds the build tree" \
    -S "$project" -B "$project/build" -DTARVEL_PROGRAM="$tarvel"
refuses "a preview folder that is none" "TARVEL_PREVIEW_PAGES /no/such/folder is no folder" \
    -S "$(dirname "$helper")/.." -B "$work/refused" -DBUILD_TESTING=OFF \
    -DTARVEL_PREVIEW_PAGES=/no/such/folder
echo "configure: refuses what tarvel would not take, naming it"
