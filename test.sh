#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: first the normal build
# against the private Firebird 3.0 server, then its database tests once more against Firebird 4.0,
# then the Windows build under Wine (the 64-bit build's suite, a few runs of the 32-bit product),
# then the same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
# UPDATER_SKIP_SANITIZE=1 runs the normal build only (for quick local runs).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
# The demo's Firebird server holds the port the tests' server needs.
if [[ -f build/demo-firebird/server.pid ]]; then
    ./demo.sh --stop
fi

jobs=$(nproc)

# Runs the tests of a build tree, then says how long they took and which Firebird server their
# database tests talked to (as the server reported itself), whether they passed or not.
run_tests() {
    local dir=$1 pass=$2 status=0 started=$SECONDS
    shift 2
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" || status=$?
    echo "== $pass: $((SECONDS - started)) s, the database tests ran against Firebird" \
        "$(cat "$dir/firebird-server/server-version" 2>/dev/null || echo '(none started)')"
    return "$status"
}

run_build() {
    local dir=$1 pass=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    run_tests "$dir" "$pass"
}

run_build build "Normal build"
# Its database tests again, against a Firebird 4.0 server (docs/firebird-test-server.md).
UPDATER_TEST_FIREBIRD=4 run_tests build "Normal build, Firebird 4 pass" -L firebird-server
# The Windows build, its tests under Wine.
./scripts/windows-tests.sh build-win
# The 32-bit Windows product, its few whole-program runs under emulated 32-bit Wine.
./scripts/windows32-tests.sh build-win32 build-win
if [[ "${UPDATER_SKIP_SANITIZE:-0}" != 1 ]]; then
    # intercept_tls_get_addr=0: GCC 12's LeakSanitizer takes a dynamic TLS block at 16 bytes past
    # a page for a glibc 2.19 one and reads its bounds from the 16 bytes before it; with this
    # glibc that is garbage, and its tracer faults reading it ("Tracer caught signal 11") when a
    # Firebird client thread is still there at the leak check. What only such a block points to
    # then goes unseen; tests/lsan.supp covers the one such state seen, the Firebird client's.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_build build-asan "Sanitizer build" -DUPDATER_SANITIZE=ON
fi
