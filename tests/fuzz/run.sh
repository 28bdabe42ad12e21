#!/usr/bin/env bash
# Fuzzing with libFuzzer (clang, the fuzz preset):
#   tests/fuzz/run.sh build                  configure and build the three fuzzers
#   tests/fuzz/run.sh fuzz TARGET SECONDS    fuzz TARGET (jobfile, matdb, dialogue) at low
#                                            priority; new inputs go to build/fuzz/corpus/TARGET
#   tests/fuzz/run.sh merge TARGET           minimise the kept corpus and the new inputs
#                                            into a fresh tests/fuzz/corpus/TARGET (files
#                                            named finding-* are kept as they are)
# A finding is written to build/fuzz/findings/TARGET/crash-* (or leak-*, timeout-*); replay one
# with build/fuzz/tests/fuzz/corvanel_fuzz_TARGET FILE.
set -euo pipefail
cd "$(dirname "$0")/../.."
bin() { echo "build/fuzz/tests/fuzz/corvanel_fuzz_$1"; }
case "${1:-}" in
  build)
    cmake --preset fuzz >/dev/null
    nice -n 19 cmake --build --preset fuzz --target corvanel_fuzz_jobfile corvanel_fuzz_matdb corvanel_fuzz_dialogue
    ;;
  fuzz)
    target=$2 seconds=$3
    mkdir -p "build/fuzz/corpus/$target" "build/fuzz/findings/$target"
    cd build/fuzz
    nice -n 19 "tests/fuzz/corvanel_fuzz_$target" -max_total_time="$seconds" -max_len=4096 \
      -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$PWD/findings/$target/" -close_fd_mask=3 -print_final_stats=1 \
      "corpus/$target" "../../tests/fuzz/corpus/$target"
    ;;
  merge)
    target=$2
    fresh=$(mktemp -d)
    nice -n 19 "$(bin "$target")" -merge=1 -max_len=4096 -close_fd_mask=3 "$fresh" \
      "tests/fuzz/corpus/$target" "build/fuzz/corpus/$target"
    # Inputs that once found a fault keep their names (finding-*).
    mkdir -p "$fresh/.findings"
    cp "tests/fuzz/corpus/$target"/finding-* "$fresh/.findings/" 2>/dev/null || true
    rm -rf "tests/fuzz/corpus/$target"
    mkdir -p "tests/fuzz/corpus/$target"
    cp "$fresh"/* "tests/fuzz/corpus/$target/"
    cp "$fresh/.findings"/* "tests/fuzz/corpus/$target/" 2>/dev/null || true
    rm -rf "$fresh"
    echo "tests/fuzz/corpus/$target: $(ls "tests/fuzz/corpus/$target" | wc -l) files"
    ;;
  *)
    echo "usage: tests/fuzz/run.sh build | fuzz TARGET SECONDS | merge TARGET" >&2
    exit 2
    ;;
esac
