#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
# Takes the same environment settings as build.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${QUILRUN_BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
ctest --test-dir "$build_dir" -j "$(nproc)" --output-on-failure --timeout 300
