#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in three trees (scripts/configure.sh
# describes them): the release tree build/, which the start command and the Debian package share;
# the sanitizer tree build-san/ (clang, ASan + UBSan), which then also runs the fuzz targets side by
# side; and the ThreadSanitizer tree build-tsan/ for the suites labelled "threads". Headless: no
# display and no sound card needed. Prints how long each step took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
jobs=$(nproc)

step_start=$(date +%s)
step_done() {
    local now
    now=$(date +%s)
    echo "tests: step '$1' took $((now - step_start)) s"
    step_start=$now
}

# build_and_test KIND DIR [ctest arguments]
# The tree stays locked while it is built and tested: scripts/package.sh, started beside this
# script, packages from the release tree and must neither configure nor build it meanwhile.
build_and_test() {
    local kind=$1 dir=$2 rc=0 lock
    shift 2
    mkdir -p "$dir"
    exec {lock}>"$dir/.tree-lock"
    flock "$lock"
    echo "==== building $dir ($kind)"
    if bash "$root/scripts/configure.sh" "$kind" "$dir" >/dev/null &&
        cmake --build "$dir" -j "$jobs"; then
        step_done "$kind build"
        echo "==== testing $dir"
        ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" || rc=1
        step_done "$kind tests"
    else
        rc=1
    fi
    exec {lock}>&-
    return $rc
}

status=0
build_and_test release "$root/build" || status=1
build_and_test sanitize "$root/build-san" || status=1
build_and_test thread "$root/build-tsan" -L threads || status=1
# The fuzz targets need clang; without it fuzz.sh says so and changes nothing.
bash "$root/scripts/fuzz.sh" || status=1
step_done "fuzzing"
if [ $status -ne 0 ]; then
    echo "tests: FAILED"
fi
exit $status
