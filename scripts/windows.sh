#!/usr/bin/env bash
# The Windows builds and their tests, cross-compiled with MinGW-w64 here:
#   build-win32/quilrun.dll   i686, the production artifact the 32-bit report
#                             server loads (with report-host.exe beside it)
#   build-win64/              x86_64: the library, report-host.exe and the
#                             unit tests, run under wine64
# Checks both DLLs' export and import tables, runs the x86_64 unit tests
# under wine, and runs the x86_64 report-host.exe under wine against erp-sim
# running natively (the native build in build/ provides erp-sim and the
# test driver). wine32 cannot be installed on Debian 12 without multiarch,
# so the i686 build is run only where wine32 is present.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
native_dir="${QUILRUN_BUILD_DIR:-build}"
case "$native_dir" in /*) ;; *) native_dir="$root/$native_dir" ;; esac
jobs="$(nproc)"

"$root/scripts/install-deps.sh" windows
"$root/scripts/build.sh"

build_target() {
  local arch="$1" dir="$2" tests="$3" prefix
  prefix="$("$root/scripts/windows-deps.sh" "$arch" | tail -n 1)"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUILRUN_WERROR=ON -DQUILRUN_DEPS_PREFIX="$prefix" \
    -DQUILRUN_BUILD_TESTS="$tests" -DQUILRUN_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== i686 (the production DLL)"
build_target i686 "$root/build-win32" OFF
"$root/tests/windows/check-dll.sh" i686-w64-mingw32-objdump "$root/build-win32/quilrun.dll"

echo "== x86_64"
build_target x86_64 "$root/build-win64" ON
"$root/tests/windows/check-dll.sh" x86_64-w64-mingw32-objdump "$root/build-win64/quilrun.dll"

wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
export WINEDEBUG=-all
# A wine prefix of the build's own, created once, so that tests do not depend
# on the user's ~/.wine.
export WINEPREFIX="${WINEPREFIX:-$root/build-win64/wine-prefix}"
if [ ! -d "$WINEPREFIX" ]; then "$wine64" wineboot --init >/dev/null 2>&1 || true; fi

echo "== x86_64 unit tests under wine64"
ctest --test-dir "$root/build-win64" -j "$jobs" --output-on-failure --timeout 300

echo "== x86_64 report-host.exe under wine64 against erp-sim"
QUILRUN_WINDOWS_BIN="$root/build-win64" QUILRUN_WINE="$wine64" "$native_dir/tests/wine_e2e_tests"

if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
  echo "== i686 report-host.exe under wine32 against erp-sim"
  QUILRUN_WINDOWS_BIN="$root/build-win32" QUILRUN_WINE="$(command -v wine)" \
    "$native_dir/tests/wine_e2e_tests"
else
  echo "== wine32 is not installed: the i686 build is checked by its headers only"
fi
