#!/usr/bin/env bash
# Times tarvel against cat, xxd -i and sed on generated pages, counts the
# instructions it takes a byte, measures its peak memory, and the size and
# compile time of the gzip twins of tarvel -z; prints each goal beside.
# Usage: bench/run.sh [RUNS [BEFORE]]  (RUNS default 5; BEFORE, another
# tarvel binary, is measured beside this one; scratch space in $BENCH_DIR,
# default /tmp/tarvel-bench, about 3.6 GB while it runs).
set -euo pipefail
for tool in xxd sed cmake g++ gzip zopfli python3 valgrind; do
    command -v "$tool" >/dev/null || { echo "bench/run.sh: needs $tool (apt-get install $tool)" >&2; exit 1; }
done
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
before=${2:+$(realpath "$2")}
work=${BENCH_DIR:-/tmp/tarvel-bench}
build=$root/build-bench
mkdir -p "$work"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target tarvel bench_gen >/dev/null
tarvel=$build/tarvel

# make_pages DIR KIND [ARG...]: a folder of generated pages, made once.
make_pages() {
    local dir=$1
    shift
    if [ ! -e "$work/$dir/done" ]; then
        rm -rf "${work:?}/$dir"
        mkdir -p "$work/$dir/pages"
        "$build/bench_gen" "$1" "$work/$dir/pages" "${@:2}"
        touch "$work/$dir/done"
    fi
}

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# time_all DIR NAME=COMMAND...: runs the commands in turn in DIR/pages, RUNS
# rounds after one warm-up round; leaves each median in ns in med[NAME] and
# each round's time in took[NAME,ROUND]. Every run writes a new file, as
# after a change of the pages, unless keep_header is set: then what the last
# run wrote stays, and tarvel finds its header unchanged while cat writes
# over its last output. No write-back of the last run falls in this one's
# time.
declare -A med took
keep_header=
time_all() {
    local dir=$1
    shift
    for round in $(seq 0 "$runs"); do
        for job in "$@"; do
            local name=${job%%=*} start
            [ -n "$keep_header" ] || rm -f "$work/$dir"/*.out "$work/$dir/htmls.h"
            sync
            start=$(now)
            (cd "$work/$dir/pages" && eval "${job#*=}") >/dev/null 2>&1
            took[$name,$round]=$(($(now) - start))
        done
    done
    for job in "$@"; do
        local name=${job%%=*}
        med[$name]=$(for round in $(seq "$runs"); do echo "${took[$name,$round]}"; done | median)
    done
}

# paired A B: the median of A's time over B's, round by round: the
# machine's speed drifts less within a round than across them.
paired() {
    for round in $(seq "$runs"); do
        awk -v a="${took[$1,$round]}" -v b="${took[$2,$round]}" 'BEGIN { print a / b }'
    done | median | awk '{ printf "%.2f", $1 }'
}

# per_byte PROGRAM DIR: the instructions PROGRAM takes a byte of the pages
# in DIR/pages, header unchanged, counted by callgrind (stable under load).
per_byte() {
    local bytes ir
    bytes=$(cat "$work/$2"/pages/*.html | wc -c)
    (cd "$work/$2/pages" && "$1" >/dev/null &&
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" 2>&1 >/dev/null) |
        awk -v b="$bytes" '/Collected :/ { printf "%.1f", $4 / b }'
}

ms() { awk -v ns="$1" 'BEGIN { printf "%8.1f ms", ns / 1e6 }'; }
rate() { awk -v ns="$1" -v b="$2" 'BEGIN { printf "%8.1f MB/s", b / 1e6 / (ns / 1e9) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# What the figures below belong to: the day, the commit, the machine.
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
git -C "$root" diff --quiet HEAD 2>/dev/null || commit+=" with changes"
echo "Date: $(date -u +%F); commit: $commit${before:+; before: $before}"
echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo);" \
    "$(. /etc/os-release && echo "$PRETTY_NAME"), $(g++ --version | head -n 1 | awk '{ print "g++", $NF }')," \
    "$(df -T "$work" | awk 'NR == 2 { print $2 }') in $work"

make_pages corpus corpus
bytes=$(cat "$work"/corpus/pages/*.html | wc -c)
echo
echo "Corpus: $(ls "$work"/corpus/pages/*.html | wc -l) pages, $((bytes / 1000000)) MB; median of $runs runs"
echo "  header unchanged:"
keep_header=1
time_all corpus "tarvel=$tarvel" "cat=cat *.html > ../cat.out" ${before:+"before=$before"}
keep_header=
printf '  tarvel  %s %s\n' "$(ms "${med[tarvel]}")" "$(rate "${med[tarvel]}" "$bytes")"
echo "  tarvel/cat $(paired tarvel cat) (goal at most 1.25)${before:+, before/cat $(paired before cat)}"
echo "  instructions a byte $(per_byte "$tarvel" corpus) (goal at most 6)${before:+, before $(per_byte "$before" corpus)}"
echo "  header written anew:"
time_all corpus \
    "tarvel=$tarvel" \
    "cat=cat *.html > ../cat.out" \
    "catsync=cat *.html > ../cat.out && sync ../cat.out" \
    "xxd=for f in *.html; do xxd -i \"\$f\"; done > ../xxd.out" \
    "sed=sed -e 's/^[[:space:]]*//' -e '/^\$/d' -e 's/\r*\$/\r/' *.html > ../sed.out" \
    ${before:+"before=$before"}
for name in tarvel cat catsync xxd sed; do
    printf '  %-7s %s %s\n' "$name" "$(ms "${med[$name]}")" "$(rate "${med[$name]}" "$bytes")"
done
echo "  tarvel/catsync $(paired tarvel catsync) (goal at most 1.2; catsync: cat, then its output" \
    "flushed to disk as tarvel flushes the header)${before:+, before/catsync $(paired before catsync)}," \
    "tarvel/cat $(paired tarvel cat), xxd/tarvel $(ratio "${med[xxd]}" "${med[tarvel]}") (goal at least 20)," \
    "sed/tarvel $(ratio "${med[sed]}" "${med[tarvel]}")"

# The shapes of page that cost the converter most, one page of 50 MiB each
# timed, and a copy of 4 MiB counted (bench_gen names them).
shapes="prose nolf empty pre neartags list closings long cr crs"
echo
echo "Shapes: one page of 50 MiB each, header unchanged; median of $runs runs; instructions a byte"
echo "counted on a page of 4 MiB of the same shape"
printf '  %-9s %9s %12s%s\n' shape tarvel/cat 'instr/byte' "${before:+   before/cat instr/byte}"
keep_header=1
for shape in $shapes; do
    make_pages "$shape" shape "$shape" 50
    make_pages "$shape-4" shape "$shape" 4
    (cd "$work/$shape/pages" && "$tarvel" >/dev/null)
    time_all "$shape" "tarvel=$tarvel" "cat=cat *.html > ../cat.out" ${before:+"before=$before"}
    printf '  %-9s %9s %12s' "$shape" "$(paired tarvel cat)" "$(per_byte "$tarvel" "$shape-4")"
    [ -z "$before" ] || printf ' %12s %10s' "$(paired before cat)" "$(per_byte "$before" "$shape-4")"
    echo
done
keep_header=
echo "  goals: tarvel/cat at most 3, instructions a byte at most 20, for every shape"

make_pages small small
echo
echo "20,000 pages of 1 KB; median of $runs runs"
time_all small "tarvel=$tarvel" "cat=cat *.html > ../cat.out"
for name in tarvel cat; do
    printf '  %-7s %s\n' "$name" "$(ms "${med[$name]}")"
done
echo "  tarvel/cat $(paired tarvel cat) (goal at most 2)"

make_pages mib one 1
make_pages taker taker
echo
echo "One page of 1.2 MB that takes 60,001 delimiters, against one plain page of 1 MiB; median of $runs runs"
time_all taker "taker=$tarvel"
time_all mib "plain=$tarvel"
printf '  taker   %s\n  plain   %s\n' "$(ms "${med[taker]}")" "$(ms "${med[plain]}")"

make_pages gib one 1024
echo
echo "Peak resident memory of tarvel"
for dir in mib gib; do
    kb=$(cd "$work/$dir/pages" && "$build/bench_gen" peak "$tarvel")
    echo "  one page of 1 $([ $dir = mib ] && echo MiB || echo GiB): $kb KiB (goal at most 2048)"
done

# -z: the twins against gzip -9 of the same texts, and what they cost the
# compiler, on the corpus's 3,000 indented pages (linked into a folder of
# their own) and on the test pages.
if [ ! -e "$work/indented/done" ]; then
    mkdir -p "$work/indented/pages"
    ln -f "$work"/corpus/pages/page*.html "$work/indented/pages/"
    touch "$work/indented/done"
fi
rm -rf "$work/tests"
mkdir -p "$work/tests/pages"
cp "$root"/tests/browser/*.html "$root"/tests/consumer/*.html "$root"/examples/pages/*.html \
    "$work/tests/pages/"
echo
echo "Gzip twins (tarvel -z), each page compressed whole at libdeflate's level 12"
start=$(now)
(cd "$work/corpus/pages" && "$tarvel" -z >/dev/null)
echo "  tarvel -z on the corpus: $(ms $(($(now) - start)))"
(cd "$work/tests/pages" && "$tarvel" -z >/dev/null)
for dir in corpus tests; do
    echo "  $dir:"
    python3 "$root/bench/gzip_sizes.py" "$work/$dir/htmls.h"
done
echo '#include "htmls.h"' >"$work/indented/use.cpp"
declare -A compile
for option in "" -z; do
    (cd "$work/indented/pages" && "$tarvel" $option >/dev/null)
    times=""
    for round in $(seq "$runs"); do
        start=$(now)
        g++ -c -DPROGMEM= -I"$work/indented" "$work/indented/use.cpp" -o "$work/indented/use.o"
        times+="$(($(now) - start)) "
    done
    compile[${option:-none}]=$(tr ' ' '\n' <<<"$times" | grep . | median)
done
echo "  g++ -c of the header of the 3,000 indented pages: $(ms "${compile[none]}"), with -z" \
    "$(ms "${compile[-z]}"); ratio $(ratio "${compile[-z]}" "${compile[none]}") (goal at most 2)"

# -a -z: the flash that a web UI takes, each file as the smaller of itself
# and its twin, against the smaller of each file and its gzip -9 or zopfli
# compression, and a peer's header of the same files (svelteesp32, from the
# npm registry, where it installs). The UIs: the tests' own, and Vite's
# React template built for production, made once where npm can install it.
echo
echo "Flash of a web UI (tarvel -a -z), the sum over its files"
echo "  the tests' UI:"
python3 "$root/bench/flash.py" "$tarvel" "$root/tests/ui"
if [ ! -e "$work/vite/done" ] && command -v npm >/dev/null; then
    rm -rf "$work/vite" && mkdir -p "$work/vite"
    (cd "$work/vite" && npm create -y vite@latest app -- --template react && cd app && npm install &&
        npm run build && cd .. && npm install svelteesp32 && touch done) >/dev/null 2>&1 || true
fi
if [ -d "$work/vite/app/dist" ]; then
    peer=""
    if (cd "$work/vite" && npx svelteesp32 -e async -s app/dist -o peer.h --gzip true --etag true) \
        >/dev/null 2>&1; then
        peer=$work/vite/peer.h
    fi
    echo "  Vite's React template, built:"
    python3 "$root/bench/flash.py" "$tarvel" "$work/vite/app/dist" $peer
    echo "  goals: tarvel at most 1.01 times Σ min(file, zopfli), at most 0.98 times the peer"
else
    echo "  (no Vite build: npm could not make one)"
fi
