#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: first the normal build,
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

run_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_build build
# The Windows build, its tests under Wine.
./scripts/windows-tests.sh build-win
if [[ "${UPDATER_SKIP_SANITIZE:-0}" != 1 ]]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_build build-asan -DUPDATER_SANITIZE=ON
fi
