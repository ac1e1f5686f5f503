#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan+UBSan and runs each for a
# bounded time on its seed corpus.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
build_dir="${QUILRUN_FUZZ_BUILD_DIR:-$root/build-fuzz}"

"$root/scripts/install-deps.sh"
CXX=clang++ cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILRUN_BUILD_TESTS=OFF -DQUILRUN_BUILD_TOOLS=OFF -DQUILRUN_BUILD_BENCH=OFF \
  -DQUILRUN_BUILD_FUZZERS=ON -DQUILRUN_SANITIZE=address,undefined >/dev/null
cmake --build "$build_dir" -j "$(nproc)"

for target in DisplayFormatFuzz TextFilterFuzz ConfigLineFuzz RemoteCallFuzz; do
  corpus="$build_dir/corpus/$target"
  mkdir -p "$corpus"
  cp -n "$root/tests/fuzz/corpus/$target/"* "$corpus/" 2>/dev/null || true
  echo "== $target for ${seconds}s"
  # The working folder takes the crash files and any log file.
  (cd "$build_dir" && "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" \
    -max_len=4096 -rss_limit_mb=2048 -timeout=25 "$corpus")
done
