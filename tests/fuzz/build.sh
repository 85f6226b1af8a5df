#!/usr/bin/env bash
# Builds the pattern reader's fuzzing target with clang (libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, float-to-integer
# conversions included) into build/fuzz/, and runs it when asked to.
#
#   tests/fuzz/build.sh              build only
#   tests/fuzz/build.sh run SECONDS  build, then fuzz for SECONDS on one core,
#                                    starting from tests/fuzz/corpus and the
#                                    sample patterns; new inputs collect in
#                                    build/fuzz/corpus, failures in build/fuzz/
#   tests/fuzz/build.sh merge        minimize build/fuzz/corpus into a fresh
#                                    tests/fuzz/corpus
#
# Needs clang++ and libclang-rt-14-dev (or the runtime of the installed
# clang). A failing input belongs in tests/fuzz/regressions/, where ctest
# replays it (velmor_fuzz_replay) in the normal and the sanitizer build.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$root/build/fuzz"
mkdir -p "$out/objects"

sanitizers="address,undefined,float-cast-overflow"
flags=(-std=c++20 -g -Wall -Wextra -ffp-contract=off -fno-sanitize-recover=all
       -fno-omit-frame-pointer -I"$root" -I"$root/tests")
# The fuzzer is steered by the coverage of the file code and the target.
# The engine and the model run every pass through millions of frames:
# they keep the sanitizers but not the coverage counters, which would slow
# each input down by an order of magnitude.
steered=("$root"/files/*.cpp "$root/tests/fuzz/pattern_reader_harness.cpp" "$root/tests/fuzz/pattern_reader_fuzz.cpp")
unsteered=("$root"/engine/*.cpp "$root"/model/*.cpp)

objects=()
compile() {
    local src="$1"
    shift
    local rel="${src#"$root"/}"
    local obj="$out/objects/${rel//\//_}.o"
    if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ "$0" -nt "$obj" ] ||
        [ -n "$(find "$root/engine" "$root/model" "$root/files" "$root/tests/fuzz" "$root/tests/support" -name '*.h' -newer "$obj" -print -quit)" ]; then
        echo "compiling $rel"
        clang++ "${flags[@]}" "$@" -c "$src" -o "$obj"
    fi
    objects+=("$obj")
}
for src in "${steered[@]}"; do compile "$src" -O1 -fsanitize=fuzzer-no-link,"$sanitizers"; done
for src in "${unsteered[@]}"; do compile "$src" -O2 -fsanitize="$sanitizers"; done
clang++ "${flags[@]}" -fsanitize=fuzzer,"$sanitizers" "${objects[@]}" -o "$out/pattern_reader_fuzz"
echo "built $out/pattern_reader_fuzz"

case "${1:-}" in
    run)
        seconds="${2:?how many seconds?}"
        mkdir -p "$out/corpus" "$out/seeds"
        if [ -x "$root/build/native/tests/velmor-sample-patterns" ]; then
            "$root/build/native/tests/velmor-sample-patterns" "$out/seeds"
        fi
        cd "$out"
        ./pattern_reader_fuzz corpus "$root/tests/fuzz/corpus" seeds \
            -max_len=70000 -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
            -print_final_stats=1 -artifact_prefix="$out/"
        ;;
    merge)
        # The fewest inputs that reach every edge reached so far, beside the
        # named sample patterns.
        fresh="$(mktemp -d)"
        "$out/pattern_reader_fuzz" -merge=1 -use_counters=0 -max_len=70000 "$fresh" "$out/corpus" "$root/tests/fuzz/corpus"
        mkdir -p "$out/seeds"
        if [ -x "$root/build/native/tests/velmor-sample-patterns" ]; then
            "$root/build/native/tests/velmor-sample-patterns" "$out/seeds"
        fi
        for seed in "$out"/seeds/*.pat; do
            [ -f "$seed" ] || continue
            sum="$(sha1sum <"$seed" | cut -d' ' -f1)"
            rm -f "$fresh/$sum"
            cp "$seed" "$fresh/"
        done
        rm -f "$root"/tests/fuzz/corpus/*
        cp "$fresh"/* "$root/tests/fuzz/corpus/"
        rm -rf "$fresh"
        echo "tests/fuzz/corpus: $(ls "$root/tests/fuzz/corpus" | wc -l) files, $(du -sh "$root/tests/fuzz/corpus" | cut -f1)"
        ;;
    "") ;;
    *)
        echo "usage: tests/fuzz/build.sh [run SECONDS | merge]" >&2
        exit 2
        ;;
esac
