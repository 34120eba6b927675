#!/usr/bin/env bash
# Builds the libFuzzer targets in the sanitizer tree (build-san/: clang, ASan + UBSan), makes their
# seed corpora and runs the targets side by side, each for a fixed time (105 s unless FUZZ_SECONDS
# says otherwise). Each target's corpus is kept between runs: in TONVERA_FUZZ_CORPUS/<target> when
# that is set (CI keeps it in its cache), else in build-san/corpus/<target>. Prints the executions
# each target ran and what it found; exits non-zero when a target found a crash, a leak, a
# sanitizer report or a broken promise. Findings are kept under build-san/findings/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-105}
build="$root/build-san"
corpora=${TONVERA_FUZZ_CORPUS:-$build/corpus}
targets=(settings_file_fuzzer decode_fuzzer)

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
    echo "fuzz: clang is not installed, nothing fuzzed"
    exit 0
fi

echo "==== building fuzz targets in $build"
bash "$root/scripts/configure.sh" sanitize "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" make_fuzz_seeds

seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/settings_file_fuzzer" "$seeds/decode_fuzzer"
"$build/tests/fuzz/make_fuzz_seeds" "$seeds/settings_file_fuzzer" "$seeds/decode_fuzzer"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# One process per target, each on a core of its own when there are two.
fuzz() {
    local target=$1 max_len
    case $target in
        settings_file_fuzzer) max_len=8192 ;;
        decode_fuzzer) max_len=65536 ;;
    esac
    local corpus="$corpora/$target" findings="$build/findings/$target"
    rm -rf "$findings"
    mkdir -p "$corpus" "$findings"
    (cd "$findings" && exec "$build/tests/fuzz/$target" "$corpus" "$seeds/$target" \
        -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/") >"$build/$target.log" 2>&1
}

echo "==== fuzzing ${targets[*]} side by side for ${seconds}s"
pids=()
for target in "${targets[@]}"; do
    fuzz "$target" &
    pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
    target=${targets[$i]}
    rc=0
    wait "${pids[$i]}" || rc=$?
    log="$build/$target.log"
    findings="$build/findings/$target"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    found=$(find "$findings" -type f | wc -l)
    units=$(find "$corpora/$target" -type f | wc -l)
    echo "fuzz: $target: ${runs:-?} executions, $found finding(s), exit $rc," \
        "corpus of $units (log: $log)"
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        grep -m 5 -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" || true
        status=1
    fi
done
exit $status
