#!/usr/bin/env bash
# Every test: installs what is missing, then the host build's unit tests, the
# same under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows
# build's end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

status=0
run_preset() {
    local preset=$1
    echo "==== $preset: configure and build"
    cmake --preset "$preset" >"build-$preset.log" 2>&1 || { cat "build-$preset.log"; return 1; }
    cmake --build --preset "$preset" >>"build-$preset.log" 2>&1 || { tail -n 80 "build-$preset.log"; return 1; }
    rm -f "build-$preset.log"
    echo "==== $preset: tests"
    ctest --preset "$preset"
}

for preset in host host-asan windows; do
    if ! run_preset "$preset"; then
        echo "==== $preset: FAILED"
        status=1
    fi
done
exit $status
