#!/usr/bin/env bash
# The demo: installs what is missing, builds, and runs the library's report
# functions through report-host, the stand-in for a report server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${QUILRUN_BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

host="$build_dir/report-host"
lib="$build_dir/libquilrun.so"
text="$(cat "$root/samples/filter-demo.txt")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"   # the library writes its log file into the current directory here

call() { "$host" --lib "$lib" call "$@"; }

echo "== Sample text (samples/filter-demo.txt)"
printf '%s\n' "$text"
echo
echo "== tt_filterTextLinewise: key=value lines, rewritten as 'key: value'"
call tt_filterTextLinewise "$text" '([a-z]+)=(.*)' '\1: \2'
echo "== tt_filterTextBlockwise: the delivery block only"
call tt_filterTextBlockwise "$text" BEGIN END @null @null 0
echo "== tt_filterTextBlockwise: everything but comments and the internal block"
call tt_filterTextBlockwise "$text" @null @null '#internal' '#endinternal' 1 |
  "$host" --lib "$lib" call tt_filterTextLinewise "$(cat)" '[^#].*' ''
echo "== tt_filterTextLinewise with an invalid pattern: empty result, error in the log"
call tt_filterTextLinewise "$text" '(' ''
echo
for log in "$work"/Quilrun_*.log; do
  [ -e "$log" ] || continue
  echo "== Log file ($(basename "$log"))"
  cat "$log"
done
