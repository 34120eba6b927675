#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a normal build and a build with
# AddressSanitizer + UndefinedBehaviorSanitizer; then the audio layer's and the engine's tests once
# more under ThreadSanitizer, and each fuzz target for a minute (clang). Headless: no display and
# no sound card needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    echo "==== building $dir ($*)"
    cmake -S "$root" -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$jobs" ${TARGETS:+--target $TARGETS}
    echo "==== testing $dir"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

status=0
run_suite "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1
run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTONVERA_SANITIZE=ON \
    -DTONVERA_BUILD_BENCH=OFF || status=1
TARGETS="test_audiolib test_engine" run_suite "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTONVERA_SANITIZE_THREAD=ON -DTONVERA_BUILD_BENCH=OFF || status=1
# The fuzz targets need clang; without it fuzz.sh says so and changes nothing.
bash "$root/scripts/fuzz.sh" || status=1
if [ $status -ne 0 ]; then
    echo "tests: FAILED"
fi
exit $status
