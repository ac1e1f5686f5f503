#!/usr/bin/env bash
# Configures and builds the project.
#   QUILRUN_BUILD_DIR  build folder (default: build)
#   QUILRUN_SANITIZE   sanitizers, e.g. address,undefined or thread (default: none)
#   QUILRUN_BUILD_TYPE CMake build type (default: RelWithDebInfo)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${QUILRUN_BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac

cmake -S "$root" -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE="${QUILRUN_BUILD_TYPE:-RelWithDebInfo}" \
  -DQUILRUN_WERROR=ON \
  -DQUILRUN_SANITIZE="${QUILRUN_SANITIZE:-}" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
