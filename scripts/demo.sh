#!/usr/bin/env bash
# The demo, end to end: installs what is missing, builds, lays out a report
# server installation in a temporary folder, starts the ERP simulator with the
# sample fixtures, checks the installation, renders the sample report through
# report-host (the stand-in for the report server) and prints it, then stops
# the simulator and says where the log file is.
#   QUILRUN_DEMO_DIR  where to lay out the installation (default: a new
#                     temporary folder, kept so that its log can be read)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${QUILRUN_BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

demo="${QUILRUN_DEMO_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/quilrun-demo.XXXXXX")}"
mkdir -p "$demo"
demo="$(cd "$demo" && pwd)"
bin="$demo/platform/bin"
share="$demo/share"
mkdir -p "$bin" "$demo/platform/configuration" "$demo/platform/logs" "$share/Talmxmlfiles"

# The report server's folder holds the host program and the library beside it.
cp "$build_dir/report-host" "$build_dir/libquilrun.so" "$bin/"
cat >"$demo/platform/configuration/corvane_talm_Quilrun.config" <<CONFIG
# Quilrun configuration: 4 logs every call with its parameters and result.
LogLevel = 4
# The folder of the report data files (on Windows it comes from
# setup/properties.xml; on Linux mount the share and name it here).
DataShare = $share
CONFIG

echo "== Starting the ERP simulator with samples/erp/demo-fixtures.xml"
sim_out="$demo/erp-sim.out"
"$build_dir/erp-sim" --port 0 --data "$root/samples/erp/demo-fixtures.xml" >"$sim_out" 2>&1 &
sim_pid=$!
stop_sim() { kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true; }
trap stop_sim EXIT
url=""
for _ in $(seq 100); do
  url="$(head -n 1 "$sim_out" 2>/dev/null || true)"
  [[ "$url" == http* ]] && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$sim_out" >&2; exit 1; }
  sleep 0.1
done
[[ "$url" == http* ]] || { echo "erp-sim printed no URL" >&2; exit 1; }
echo "erp-sim listens at $url"

# One data file per report run, as the ERP server writes them: the session
# and the web-service URL to ask.
data_file() {
  printf '<session><jsessionId>%s</jsessionId><webserviceURL>%s</webserviceURL></session>\n' \
    "$2" "$url" >"$share/Talmxmlfiles/$1-i"
}
data_file R1001 9F2C4E61A07B3D58C1E2F3A4B5C6D7E8
data_file R2001 4D7A1C2B9E8F06A5B3C4D2E1F0A9B8C7

host="$bin/report-host"
report="$root/samples/reports/order-confirmation.qrt"

echo
echo "== report-host check R1001: what the library sees in this installation"
"$host" check R1001 || true
echo
echo "== The sample report ($report) rendered for data file R1001"
echo
"$host" render "$report" R1001
echo
echo "== The same report 200 times on 2 threads (answers from the cache; log level 4 logs each call)"
"$host" render "$report" R1001 --threads 2 --repeat 100 --quiet
stop_sim
trap - EXIT
echo
echo "== Done. The installation is in $demo"
for log in "$demo"/platform/logs/Quilrun_*.log; do
  [ -e "$log" ] && echo "Log file: $log ($(wc -l <"$log") lines)"
done
