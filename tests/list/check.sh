#!/usr/bin/env bash
# Compiles the list of pages of tarvel -z into a program of two source files
# (walk.cpp, second.cpp) with g++ and clang++ under every C++ standard from
# C++11 to C++20, and with avr-g++ 5.4 as GNU C++11, all with -Wall -Wextra
# -Werror -pedantic: for a folder of pages with names to escape, and for a
# folder without pages; then the list of files of tarvel -a -z, for the
# folder TREE with such names added (and of tarvel -a and -a -z -k), and for an empty
# folder. Every host
# build must print the same.
#
#   check.sh TARVEL TREE PAGE...
#
# Skipped where clang++ or avr-g++ is missing (tests/common.sh).
set -euo pipefail
source "$(dirname "$0")/../common.sh"
tarvel=$1 tree=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

need "clang gcc-avr avr-libc" clang++ avr-g++
scratch

mkdir -p "$work/pages/p" "$work/empty/p" "$work/files" "$work/plain" "$work/kept" "$work/nofiles/p"
cp "$@" "$work/pages/p"
printf '<p>q</p>\n' >"$work/pages/p/$(printf 'odd "na\\me?\001 \303\251.html')"
printf '<p>t</p>\n' >"$work/pages/p/tarvel_pages.html" # tarvel_pages_html, not the list's name
cp -r "$tree" "$work/files/p"
mkdir "$work/files/p/$(printf 'odd "na\\me?\001')"
printf 'q' >"$work/files/p/$(printf 'odd "na\\me?\001/\303\251 ??=.js')"
printf 't' >"$work/files/p/tarvel_files"
cp -r "$work/files/p" "$work/plain/p"
cp -r "$work/files/p" "$work/kept/p"
for folder in pages empty; do
    (cd "$work/$folder/p" && "$tarvel" -z >/dev/null)
done
for folder in files nofiles; do
    (cd "$work/$folder/p" && "$tarvel" -a -z >/dev/null)
done
(cd "$work/plain/p" && "$tarvel" -a >/dev/null)
(cd "$work/kept/p" && "$tarvel" -a -z -k >/dev/null)

# once FOLDER BUILD NM PROGRAM: with -a, every array of the list is in the
# program of two source files once.
once() {
    local header=$work/$1/htmls.h wrong
    grep -q '^#define tarvel_files' "$header" || return 0
    grep -o 'FILE("[^"]*", "[^"]*", [^)]*)' "$header" | sed 's/^FILE("[^"]*", "[^"]*", //' |
        tr -d ' )' | cut -d, -f1,3,5 | tr , '\n' | grep -v '^nullptr$' | sort -u >"$work/arrays.txt"
    wrong=$("$3" -C "$4" | awk 'FILENAME == ARGV[1] { want[$1] = 0; next } $NF in want { want[$NF]++ }
        END { for (n in want) if (want[n] != 1) print n " is in the program " want[n] " times" }' \
        "$work/arrays.txt" -)
    [ -z "$wrong" ] && return 0
    echo "$1: $2: $wrong"
    failed=1
    return 1
}

failed=0
flags=(-Wall -Wextra -Werror -pedantic)
for folder in pages empty files plain kept nofiles; do
    want=""
    for compiler in g++ clang++; do
        for std in 11 14 17 20; do
            build="$compiler -std=c++$std"
            if ! $compiler -std=c++$std "${flags[@]}" -I"$work/$folder" "$here/walk.cpp" \
                "$here/second.cpp" -o "$work/walk"; then
                echo "$folder: $build: does not compile"
                failed=1
                continue
            fi
            got=$("$work/walk") || { echo "$folder: $build: the two files disagree"; failed=1; }
            once "$folder" "$build" nm "$work/walk" || true
            if [ -z "$want" ]; then
                want=$got
                printf '%s\n' "$got"
            elif [ "$got" != "$want" ]; then
                echo "$folder: $build prints otherwise:"
                printf '%s\n' "$got"
                failed=1
            fi
        done
    done
    if avr-g++ -std=gnu++11 -mmcu=atmega2560 -Os "${flags[@]}" -I"$work/$folder" \
        "$here/walk.cpp" "$here/second.cpp" -o "$work/walk.elf" &&
        once "$folder" avr-g++ avr-nm "$work/walk.elf"; then
        echo "$folder: compiles with g++ and clang++ (C++11 to C++20) and avr-g++ (GNU C++11)"
    else
        echo "$folder: avr-g++: does not compile"
        failed=1
    fi
done
exit "$failed"
