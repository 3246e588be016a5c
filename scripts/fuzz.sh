#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build-fuzz/, makes their seed corpora with
# the library itself, replays the saved reproducers of fuzz/regressions/, and runs every target
# for the given time on a fresh copy of its seeds. Exits non-zero, naming the reproducer, when
# any target finds a crash, a leak or a hang.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 60 seconds, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is missing (apt-get install clang)" >&2
    exit 1
fi

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDB_FUZZ=ON -DDB_TESTS=OFF \
    -DDB_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for src in fuzz/*_fuzz.cpp; do
        name=$(basename "$src" .cpp)
        targets+=("${name%_fuzz}")
    done
fi

# The harnesses keep their scratch files here; removed at the end.
scratch_parent=/dev/shm
[ -d "$scratch_parent" ] && [ -w "$scratch_parent" ] || scratch_parent=${TMPDIR:-/tmp}
FUZZ_SCRATCH=$(mktemp -d "$scratch_parent/sitebase-fuzz.XXXXXX")
export FUZZ_SCRATCH
trap 'rm -rf "$FUZZ_SCRATCH"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=0
summary=()
for name in "${targets[@]}"; do
    bin=$build/bin/${name}_fuzz
    run=$root/$build/fuzz-run/$name
    rm -rf "$run"
    mkdir -p "$run/seeds" "$run/corpus" "$run/artifacts"
    FUZZ_MAKE_SEEDS=$run/seeds "$bin" >"$run/seeds.log" 2>&1 || {
        echo "fuzz: $name: making the seeds failed (see $run/seeds.log)" >&2
        failed=1
        continue
    }
    [ -d "fuzz/corpus/$name" ] && cp fuzz/corpus/"$name"/* "$run/seeds/" 2>/dev/null || true
    cp "$run"/seeds/* "$run/corpus/"

    # Saved reproducers must all run clean now.
    if compgen -G "fuzz/regressions/$name/*" >/dev/null; then
        if ! "$bin" -timeout=10 -rss_limit_mb=2048 fuzz/regressions/"$name"/* >"$run/regressions.log" 2>&1; then
            echo "fuzz: $name: a saved reproducer of fuzz/regressions/$name still fails:" >&2
            grep -E "Running: |ERROR|SUMMARY|fuzz: " "$run/regressions.log" | tail -5 >&2
            echo "      log: $run/regressions.log" >&2
            failed=1
            summary+=("$name: saved reproducer fails")
            continue
        fi
    fi

    echo "fuzz: $name for ${seconds}s on $(ls "$run/corpus" | wc -l) seeds"
    set +e
    "$bin" "$run/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$run/artifacts/" >"$run/fuzz.log" 2>&1
    rc=$?
    set -e
    runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$run/fuzz.log" | grep -Eo '[0-9]+$' || echo "?")
    if [ $rc -ne 0 ]; then
        failed=1
        artifact=$(ls -t "$run"/artifacts/* 2>/dev/null | head -1 || true)
        echo "fuzz: $name FOUND A PROBLEM (exit $rc) after $runs runs" >&2
        grep -E "ERROR: |SUMMARY: |fuzz: |#[0-9]+ 0x" "$run/fuzz.log" | head -12 >&2 || true
        echo "      reproducer: ${artifact:-none saved}" >&2
        echo "      replay:     $bin ${artifact:-}" >&2
        echo "      log:        $run/fuzz.log" >&2
        summary+=("$name: FAILED after $runs runs, reproducer ${artifact:-none}")
    else
        summary+=("$name: clean, $runs runs in ${seconds}s")
    fi
done

echo "fuzz: summary"
printf '  %s\n' "${summary[@]}"
exit $failed
