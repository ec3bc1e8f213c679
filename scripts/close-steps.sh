#!/usr/bin/env bash
# Ends the program at every step of the scripted user scenarios, in every way it can end: the long
# form of the check that scripts/test.sh runs short.
#   scripts/close-steps.sh [SEED] [CASES]     (defaults: a seed from the clock, 500 cases)
#   scripts/close-steps.sh SEED --only N      runs case N of that seed alone, with its step times
# Needs the Windows tree built (scripts/test.sh or a build of win32_tests). Prints the summary line
# "N cases, N ended in time, N key pads left editing, N wrong writes (seed S)" and each failed
# case with what it was, so that it can be run again alone.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"

seed=${1:-$(date +%s)}
cases=${2:-500}
only=-1
verbose=0
if [ "${2:-}" = "--only" ]; then only=${3:?case number}; verbose=1; fi
[ -f build/windows/win32_tests.exe ] || { echo "build/windows/win32_tests.exe is missing"; exit 1; }

qv_prepare_prefix
if [ "$verbose" = 1 ]; then echo "== Closing at every step: seed $seed, case $only"
else echo "== Closing at every step: seed $seed, $cases cases"; fi
start=$SECONDS
QV_CLOSE_STEPS_SEED=$seed QV_CLOSE_STEPS_CASES=$cases QV_CLOSE_STEPS_ONLY=$only \
  QV_CLOSE_STEPS_VERBOSE=$verbose \
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    source scripts/common.sh
    wineserver -p
    qv_wine cmd /c exit </dev/null >/dev/null 2>&1
    cd build/windows
    qv_wine ./win32_tests.exe --gtest_filter=CloseAtEveryStep.*
    rc=$?
    wineserver -k 2>/dev/null
    exit $rc' 2>&1 | grep -E '^(FAILED|  |[0-9]+ cases|case |\[  (PASSED|FAILED)  \])'
rc=${PIPESTATUS[0]}
echo "   took $((SECONDS - start)) s"
exit "$rc"
