#!/usr/bin/env bash
# Builds the SQL fuzz target with clang and runs it for a bounded time.
#   run_fuzz.sh build BUILD_DIR            configure and build
#   run_fuzz.sh run BUILD_DIR SECONDS      fuzz from the seed corpus
# Any crash, hang (10 s per input) or sanitizer report fails the run. New
# inputs go to BUILD_DIR/corpus, never into the committed seed corpus.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
mode="$1"
dir="$2"
case "$mode" in
  build)
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build "$dir" -j 2
    ;;
  run)
    seconds="${3:-50}"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    "$dir/sql_prepare_fuzzer" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
      -dict="$here/sql.dict" -artifact_prefix="$dir/artifacts/" \
      "$dir/corpus" "$here/corpus"
    ;;
  *)
    echo "usage: $0 build|run BUILD_DIR [SECONDS]" >&2
    exit 2
    ;;
esac
