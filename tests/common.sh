# Sourced by the checks: what they share.
#
#   skip WHY...   prints why, then exits 77, which the test reports as
#                 skipped; where skips are forbidden (TARVEL_NO_SKIP set, as
#                 in CI), exits 1
#   need PACKAGES TOOL...
#                 skips, naming the Debian packages to install, unless every
#                 tool is on PATH (or, for a path, exists)
#   scratch       makes the folder $work, removed when the check ends,
#                 however it ends
#   uart MCU ELF OUT
#                 runs the AVR firmware ELF in simavr and writes what it
#                 printed on its UART to OUT, each byte below 32 as '.'

skip() {
    echo "$*"
    exit "$([ -n "${TARVEL_NO_SKIP:-}" ] && echo 1 || echo 77)"
}

need() {
    local packages=$1 tool
    shift
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null && [ ! -e "$tool" ]; then
            skip "$tool is missing, so this check cannot run (apt-get install $packages)"
        fi
    done
}

scratch() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}

# simavr logs the UART on standard error, a line at a time in colour, with
# every byte below 32 (the line feeds too) shown as '.'.
uart() {
    timeout 120 simavr -m "$1" -f 16000000 "$2" 2>"$3.log" >/dev/null
    sed -n '/\x1b\[32m/,$p' "$3.log" | sed 's/\x1b\[[0-9]*m//g' | tr -d '\n' >"$3"
}
