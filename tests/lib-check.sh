# tests/lib-check.sh: the checks of the shell-run tests (check-pe, check-release,
# check-reproducible). Source it; `check DESCRIPTION COMMAND...` prints ok or FAIL and
# counts failures; `checks_done` ends the script with the verdict.
failures=0

check() {
    local description=$1
    shift
    if "$@"; then
        echo "ok: $description"
    else
        echo "FAIL: $description"
        failures=$((failures + 1))
    fi
}

checks_done() {
    [ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
}
