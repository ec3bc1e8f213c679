#!/usr/bin/env bash
# Builds both trees and runs every test: the native tests (plain and with AddressSanitizer and
# UndefinedBehaviorSanitizer), the fuzz targets for a short time, the benchmarks in a short mode,
# and the Win32 tests under Wine on a virtual display. Ends with "N passed, N failed".
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"

qv_install_packages || { echo "package installation failed"; exit 1; }

JOBS=${QV_JOBS:-$(nproc)}
LOGS="$QV_ROOT/build/logs"
mkdir -p "$LOGS"
rm -f "$LOGS"/*.log
failures=0
note_failure() { echo "!! $1"; failures=$((failures + 1)); }

# How long each phase took, printed as it ends and again at the end of the run.
phase_times=()
phase_begin() { phase_name=$1; phase_start=$SECONDS; }
phase_end() {
  local took=$((SECONDS - phase_start))
  echo "   ($phase_name: ${took} s)"
  phase_times+=("$(printf '%-28s %5d s' "$phase_name" "$took")")
}

configure_and_build() {  # name, extra cmake arguments...
  local name=$1; shift
  echo "== Building build/$name"
  cmake -S . -B "build/$name" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" \
    >"$LOGS/configure-$name.txt" 2>&1 || { cat "$LOGS/configure-$name.txt"; return 1; }
  cmake --build "build/$name" -j "$JOBS" >"$LOGS/build-$name.txt" 2>&1 ||
    { tail -n 60 "$LOGS/build-$name.txt"; return 1; }
}

run_ctest() {  # name (the log of each run is read for GoogleTest's summary lines)
  local name=$1
  echo "== Testing build/$name"
  (cd "build/$name" && ctest -V) >"$LOGS/$name.log" 2>&1
  local rc=$?
  grep -E '^([0-9]+: )?\[  (PASSED|FAILED)  \]|^[0-9]+% tests passed' "$LOGS/$name.log" | sed 's/^/   /'
  if [ $rc -ne 0 ]; then
    grep -E '^([0-9]+: )?\[  FAILED  \] [A-Za-z]|Failure|ERROR: |runtime error|Exit code|Subprocess aborted|Timeout' \
      "$LOGS/$name.log" | head -n 40
    note_failure "tests of build/$name failed (log: build/logs/$name.log)"
  fi
}

# Native tree.
phase_begin "native build and tests"
if configure_and_build native; then run_ctest native; else note_failure "native build failed"; fi
phase_end

# Native tree again with the sanitizers, built with clang so that the fuzz targets are built in
# the same tree against the same instrumented core (one compile of the core instead of two).
phase_begin "sanitizer build and tests"
fuzz_options=()
[ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1 && fuzz_options=(-DQV_FUZZ=ON)
if CC=clang CXX=clang++ configure_and_build sanitize -DQV_SANITIZE=ON -DQV_BENCH=OFF \
    "${fuzz_options[@]}" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest sanitize
else
  note_failure "sanitizer build failed"
fi
phase_end

# Benchmarks, short.
if [ -x build/native/bench/qv_bench ]; then
  phase_begin "benchmarks"
  echo "== Benchmarks (short)"
  build/native/bench/qv_bench --benchmark_min_time=0.05 >"$LOGS/bench.txt" 2>&1 ||
    note_failure "benchmarks failed"
  grep -E '^BM_|per exchange' "$LOGS/bench.txt" | sed 's/^/   /'
  phase_end
fi

# Fuzz targets (built in the sanitizer tree), a short bounded time each.
if [ ${#fuzz_options[@]} -gt 0 ] && [ -d build/sanitize/fuzz ]; then
  phase_begin "fuzz runs"
  for target in build/sanitize/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    echo "== Fuzzing $(basename "$target") for ${QV_FUZZ_SECONDS:-8} s"
    if "$target" -max_total_time="${QV_FUZZ_SECONDS:-8}" -print_final_stats=0 \
        -artifact_prefix="$LOGS/" \
        >"$LOGS/$(basename "$target").txt" 2>&1; then
      echo "[  PASSED  ] 1 tests." >>"$LOGS/fuzz.log"
    else
      tail -n 30 "$LOGS/$(basename "$target").txt"
      echo "[  FAILED  ] 1 tests, $(basename "$target")" >>"$LOGS/fuzz.log"
      note_failure "fuzz target $(basename "$target") found a fault"
    fi
  done
  phase_end
fi

# Windows tree under Wine, on a virtual display, with a persistent wineserver for the run.
phase_begin "windows build"
if configure_and_build windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQV_BENCH=OFF; then
  phase_end
  phase_begin "windows tests under Wine"
  if ! qv_prepare_prefix; then
    note_failure "the Wine prefix could not be made (build/wineprefix.boot.log)"
  else
    echo "== Testing build/windows under Wine"
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
      source scripts/common.sh
      wineserver -p
      # Start the Wine services now, with no terminal: started by the first test program they would
      # inherit its output and keep ctest waiting for the end of it.
      qv_wine cmd /c exit </dev/null >/dev/null 2>&1
      (cd build/windows && ctest -V) > build/logs/windows.log 2>&1
      rc=$?
      wineserver -k 2>/dev/null
      exit $rc' 
    rc=$?
    grep -E '^([0-9]+: )?\[  (PASSED|FAILED)  \]|^[0-9]+% tests passed|^([0-9]+: )?[0-9]+ cases, ' \
      "$LOGS/windows.log" | sed 's/^/   /'
    if [ $rc -ne 0 ]; then
      grep -E '^([0-9]+: )?\[  FAILED  \] [A-Za-z]|Failure|Exit code|Timeout|Subprocess aborted' "$LOGS/windows.log" | head -n 40
      # A program that ended before its first test (Wine could not start it) says why only in its
      # own output: show the end of the log.
      programs=$(grep -oE 'tests failed out of [0-9]+' "$LOGS/windows.log" | grep -oE '[0-9]+$')
      started=$(grep -cE '^([0-9]+: )?\[==========\] Running' "$LOGS/windows.log")
      if [ "$started" -lt "${programs:-1}" ]; then
        echo "   $started of ${programs:-?} test programs started; the end of build/logs/windows.log:"
        tail -n 40 "$LOGS/windows.log" | sed 's/^/   | /'
      fi
      note_failure "tests of build/windows failed (log: build/logs/windows.log)"
    fi
  fi
else
  note_failure "windows build failed"
fi
phase_end

# The browser editor: the WebAssembly build, then the page in headless Chromium (Debian's) against
# the emulator behind the navigator.hid stand-in, driven by puppeteer-core from npm (web/test,
# installed exactly as its package-lock.json says).
phase_begin "web build and browser tests"
web_start=$SECONDS
if qv_build_web >"$LOGS/build-web.txt" 2>&1; then
  echo "== Built build/web in $((SECONDS - web_start)) s"
  if (cd web/test && npm ci --no-audit --no-fund) >"$LOGS/npm-web.txt" 2>&1; then
    echo "== Testing the browser editor in headless Chromium"
    node web/test/run_tests.mjs build/web/site >"$LOGS/web.log" 2>&1
    rc=$?
    grep -E '^\[  (PASSED|FAILED)  \]|^    (144 keys|page time)' "$LOGS/web.log" | sed 's/^/   /'
    [ $rc -eq 0 ] || note_failure "browser tests failed (log: build/logs/web.log)"
  else
    tail -n 20 "$LOGS/npm-web.txt"
    note_failure "npm ci for the browser tests failed"
  fi
else
  tail -n 40 "$LOGS/build-web.txt"
  note_failure "web build failed"
fi
phase_end

echo "== Time per phase"
for line in "${phase_times[@]}"; do echo "   $line"; done

# The package from the Windows tree's programs (dist/), signed with a throwaway certificate in a
# second build, then installed, upgraded and removed under Wine in a fresh prefix.
if [ -f build/windows/qv-padconf.exe ] && [ -f build/windows/win32_tests.exe ]; then
  echo "== Package and installation test"
  package_start=$(date +%s)
  scripts/package-test.sh build/windows >"$LOGS/package.log" 2>&1 ||
    note_failure "package test failed (log: build/logs/package.log)"
  grep -E '^\[  (PASSED|FAILED)  \]|not so:' "$LOGS/package.log" | sed 's/^/   /'
  echo "   took $(($(date +%s) - package_start)) s"
fi

# One line for the whole run: every GoogleTest case (and each fuzz target) counts once.
passed=0
failed=0
for log in "$LOGS"/*.log; do
  [ -f "$log" ] || continue
  # ctest -V puts "N: " before each line of a test program.
  p=$(sed -E 's/^[0-9]+: //' "$log" | grep -E '^\[  PASSED  \] [0-9]+ test' | awk '{s += $4} END {print s + 0}')
  f=$(sed -E 's/^[0-9]+: //' "$log" | grep -E '^\[  FAILED  \] [0-9]+ test' | awk '{s += $4} END {print s + 0}')
  passed=$((passed + p))
  failed=$((failed + f))
done
# A program that crashed or failed to build counts as one failure of its own.
if [ "$failures" -gt 0 ] && [ "$failed" -eq 0 ]; then failed=$failures; fi
echo "$passed passed, $failed failed"
[ "$failures" -eq 0 ] && [ "$failed" -eq 0 ]
