#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test lane:
#   1. Linux, Release (warnings are errors)
#   2. Linux with AddressSanitizer and UndefinedBehaviorSanitizer, plus the
#      chunk-reader fuzzers for a bounded time
#   3. Linux with ThreadSanitizer (processing concurrent with host calls)
#   4. Windows: the same tests cross-compiled for i686 and run under Wine
# Each lane prints its test runner's summary; the script exits non-zero when
# any lane fails. Build folders live under build/ and are reused.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-30}
failed=()

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

lane() {  # lane NAME BUILD_DIR [cmake args...]
  local name=$1 dir=$2
  shift 2
  echo
  echo "=== lane: $name ==="
  if ! cmake -S . -B "$dir" -G Ninja -DKES_WERROR=ON "$@" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"
    echo "FAILED $name lane: configure"
    failed+=("$name")
    return
  fi
  if ! cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1; then
    grep -E "error|FAILED|warning" "$dir.build.log" | head -60
    echo "FAILED $name lane: build (log: $dir.build.log)"
    failed+=("$name")
    return
  fi
  if ! (cd "$dir" && ctest --output-on-failure -j"$jobs"); then
    echo "FAILED $name lane: tests"
    failed+=("$name")
  fi
}

mkdir -p build
lane linux-release build/linux-release -DCMAKE_BUILD_TYPE=Release

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
lane linux-asan build/linux-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKES_SANITIZE=ON -DKES_BENCH=OFF
if [ -x scripts/fuzz.sh ] || [ -f scripts/fuzz.sh ]; then
  echo
  echo "=== fuzzing the chunk readers (${fuzz_seconds} s each) ==="
  bash scripts/fuzz.sh "$fuzz_seconds" || { echo "FAILED fuzzing"; failed+=("fuzz"); }
fi
unset ASAN_OPTIONS UBSAN_OPTIONS

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
lane linux-tsan build/linux-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKES_TSAN=ON -DKES_BENCH=OFF
unset TSAN_OPTIONS

echo
echo "=== lane: windows (i686 under Wine) ==="
if ! bash scripts/setup.sh --windows >build/windows-setup.log 2>&1; then
  echo "SKIPPED windows lane: the cross toolchain or Wine could not be installed ($(tail -n 1 build/windows-setup.log))"
else
  export WINEPREFIX="$root/build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
  lane windows build/windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DKES_BENCH=OFF
  wineserver -k 2>/dev/null || true
fi

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "lanes failed: ${failed[*]}"
  exit 1
fi
echo "all lanes passed"
