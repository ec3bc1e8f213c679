#!/usr/bin/env bash
# Runs the Win32 tests under Wine N times in a row (default 3) while two busy processes compete
# for the processors, as on a loaded build machine, and prints each run's result. The Windows
# tree must be built already (scripts/test.sh or a build of build/windows). Not part of
# scripts/test.sh: it measures how well the suite holds under load.
#   scripts/stress-wine.sh [runs]
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"

runs=${1:-3}
case "$runs" in
  '' | *[!0-9]* | 0) echo "usage: scripts/stress-wine.sh [runs]"; exit 2 ;;
esac
if [ ! -f build/windows/win32_tests.exe ]; then
  echo "build/windows has no win32_tests.exe: build the Windows tree first"
  exit 2
fi
LOGS="$QV_ROOT/build/logs"
mkdir -p "$LOGS"

# The busy processes, ended whatever way this script ends.
busy=()
end_busy() {
  local pid
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${busy[@]}"; do wait "$pid" 2>/dev/null; done
  busy=()
}
trap end_busy EXIT
trap 'exit 130' INT TERM
for _ in 1 2; do
  nice -n -5 sh -c 'while :; do :; done' &
  busy+=($!)
done
echo "== ${runs} runs of the Wine tests beside two busy processes (${busy[*]})"

qv_prepare_prefix
passed_runs=0
for run in $(seq 1 "$runs"); do
  log="$LOGS/stress-wine-$run.log"
  start=$SECONDS
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    source scripts/common.sh
    wineserver -p
    qv_wine cmd /c exit </dev/null >/dev/null 2>&1
    # -V alone: --output-on-failure would print the summary of a failed program twice.
    (cd build/windows && ctest -V)
    rc=$?
    wineserver -k 2>/dev/null
    exit $rc' >"$log" 2>&1
  rc=$?
  took=$((SECONDS - start))
  # ctest -V puts "N: " before each line of a test program.
  p=$(sed -E 's/^[0-9]+: //' "$log" | grep -E '^\[  PASSED  \] [0-9]+ test' | awk '{s += $4} END {print s + 0}')
  f=$(sed -E 's/^[0-9]+: //' "$log" | grep -E '^\[  FAILED  \] [0-9]+ test' | awk '{s += $4} END {print s + 0}')
  if [ $rc -eq 0 ]; then
    passed_runs=$((passed_runs + 1))
    echo "run $run: passed ($p passed, $f failed, ${took} s, load $(cut -d' ' -f1 /proc/loadavg))"
  else
    echo "run $run: FAILED ($p passed, $f failed, ${took} s, load $(cut -d' ' -f1 /proc/loadavg), log: build/logs/stress-wine-$run.log)"
    sed -E 's/^[0-9]+: //' "$log" | grep -E '^\[  FAILED  \] [A-Za-z]|Exit code|Timeout|Subprocess aborted' |
      sort -u | sed 's/^/   /' | head -n 20
  fi
done
echo "$passed_runs of $runs runs passed"
[ "$passed_runs" -eq "$runs" ]
