#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan), makes their seed corpora and runs each
# for a fixed time (60 s unless FUZZ_SECONDS says otherwise). Prints the executions each target
# ran and what it found; exits non-zero when a target found a crash, a leak, a sanitizer report or
# a broken promise. Findings are kept under build-fuzz/findings/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
build="$root/build-fuzz"

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
    echo "fuzz: clang is not installed, nothing fuzzed"
    exit 0
fi

echo "==== building fuzz targets in $build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTONVERA_BUILD_FUZZERS=ON -DTONVERA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target settings_file_fuzzer decode_fuzzer make_fuzz_seeds

seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/settings_file_fuzzer" "$seeds/decode_fuzzer"
"$build/tests/fuzz/make_fuzz_seeds" "$seeds/settings_file_fuzzer" "$seeds/decode_fuzzer"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in settings_file_fuzzer decode_fuzzer; do
    case $target in
        settings_file_fuzzer) max_len=8192 ;;
        decode_fuzzer) max_len=65536 ;;
    esac
    corpus="$build/corpus/$target"
    findings="$build/findings/$target"
    rm -rf "$findings"
    mkdir -p "$corpus" "$findings"
    log="$build/$target.log"
    echo "==== fuzzing $target for ${seconds}s"
    rc=0
    (cd "$findings" && "$build/tests/fuzz/$target" "$corpus" "$seeds/$target" \
        -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/") >"$log" 2>&1 || rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    found=$(find "$findings" -type f | wc -l)
    echo "fuzz: $target: ${runs:-?} executions, $found finding(s), exit $rc (log: $log)"
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        grep -m 5 -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" || true
        status=1
    fi
done
exit $status
