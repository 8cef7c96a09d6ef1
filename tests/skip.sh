# Sourced by the checks that need tools this machine may lack.
#
# skip WHY...: prints why, then exits 77, which the test reports as skipped;
# where skips are forbidden (TARVEL_NO_SKIP set, as in CI), exits 1.
skip() {
    echo "$*"
    exit "$([ -n "${TARVEL_NO_SKIP:-}" ] && echo 1 || echo 77)"
}
