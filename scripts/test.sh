#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test lane:
#   0. checks of the tree: formatting and the layer check (also a ctest case)
#   1. Linux, Release (warnings are errors)
#   2. Linux with AddressSanitizer and UndefinedBehaviorSanitizer, plus the
#      fuzzers (chunk readers, chunks into a real instance, preset files,
#      the settings store) for a bounded time
#   3. Linux with ThreadSanitizer (processing concurrent with host calls)
#   4. Windows: the same tests cross-compiled for i686 and run under Wine
#   5. Windows 64-bit: the same tests cross-compiled for x86-64 and run under
#      64-bit Wine (no i386 packages needed)
#   6. the release archives (scripts/package.sh) from the lanes' builds: two
#      runs give the same bytes, and every archive's plug-in loads
# Each lane is a preset of CMakePresets.json and prints its test runner's
# summary; the script exits non-zero when any lane fails. A lane this machine
# cannot run prints "SKIPPED <lane>: <reason>". Build folders live under
# build/ and are reused.
# Environment: JOBS (build and test parallelism, default 2), FUZZ_SECONDS
# (per chunk reader, default 30), FORMAT_BASE (check formatting only of files
# changed since this revision).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export JOBS=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-30}
failed=()
# Compiler cache entries keyed on paths relative to the tree, so a fresh clone
# in another folder reuses them.
export CCACHE_BASEDIR="$root"

bash scripts/setup.sh || { echo "setup failed"; exit 1; }
mkdir -p build

echo "=== checks: formatting and layers ==="
bash scripts/check-format.sh ${FORMAT_BASE:+"$FORMAT_BASE"} || failed+=("format")
python3 scripts/check-layers.py || failed+=("layers")

# Runs before ctest in a lane: the Windows lanes' window tests need a display,
# which Wine takes from a virtual X server of their own.
ctest_prefix=()
with_display=(xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp")

lane() {  # lane PRESET
  local name=$1 dir=build/$1 start=$SECONDS
  echo
  echo "=== lane: $name ==="
  if ! cmake --preset "$name" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"
    echo "FAILED $name lane: configure"
    failed+=("$name")
    return
  fi
  if ! cmake --build "$dir" -j"$JOBS" >"$dir.build.log" 2>&1; then
    grep -E "error|FAILED|warning" "$dir.build.log" | head -60
    echo "FAILED $name lane: build (log: $dir.build.log)"
    failed+=("$name")
    return
  fi
  if ! (cd "$dir" && "${ctest_prefix[@]}" ctest --output-on-failure -j"$JOBS"); then
    echo "FAILED $name lane: tests"
    failed+=("$name")
  fi
  echo "$name lane: $((SECONDS - start)) s"
}

# True when this machine executes 32-bit x86 programs: a 96-byte i386 ELF
# that exits with status 42 through the kernel's 32-bit entry.
can_run_i386() {
  local probe=build/probe-i386
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  [ $? -eq 42 ]
}

lane linux-release

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
lane linux-asan
echo
echo "=== fuzzing (${fuzz_seconds} s per target) ==="
bash scripts/fuzz.sh "$fuzz_seconds" || { echo "FAILED fuzzing"; failed+=("fuzz"); }
unset ASAN_OPTIONS UBSAN_OPTIONS

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
lane linux-tsan
unset TSAN_OPTIONS

package_wine32=""
package_wine64=""
echo
if ! can_run_i386; then
  echo "SKIPPED windows lane: this machine cannot run 32-bit programs"
elif ! bash scripts/setup.sh --windows >build/windows-setup.log 2>&1; then
  echo "SKIPPED windows lane: the cross toolchain or Wine could not be installed ($(tail -n 1 build/windows-setup.log))"
else
  export WINEPREFIX="$root/build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
  ctest_prefix=("${with_display[@]}")
  lane windows
  ctest_prefix=()
  package_wine32=wine
  wineserver -k 2>/dev/null || true
fi

# The 64-bit Windows lane. Its own Wine prefix, so neither lane's prefix
# decides the other's architecture.
windows64_lane() {
  if ! bash scripts/setup.sh --windows64 >build/windows64-setup.log 2>&1; then
    echo "SKIPPED windows64 lane: the x86-64 cross toolchain or wine64 could not be installed ($(tail -n 1 build/windows64-setup.log))"
    return
  fi
  local wine64 wineserver64
  wine64=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
  wineserver64=$(command -v /usr/lib/wine/wineserver64 wineserver64 wineserver | head -n 1)
  if [ -z "$wine64" ] || [ -z "$wineserver64" ]; then
    echo "SKIPPED windows64 lane: no wine64 loader or wineserver found"
    return
  fi
  export WINEPREFIX="$root/build/wineprefix64" WINEARCH=win64 WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine64" wineboot --init >/dev/null 2>&1 || true
    "$wineserver64" -w 2>/dev/null || true
  fi
  # A tiny cross-built program that exits with 42 tells whether both the
  # toolchain and wine64 work here.
  local probe=build/probe-win64
  printf 'int main(void) { return 42; }\n' >"$probe.c"
  if ! x86_64-w64-mingw32-gcc-posix -o "$probe.exe" "$probe.c" >"$probe.log" 2>&1; then
    echo "SKIPPED windows64 lane: the x86-64 cross compiler cannot build a program ($(tail -n 1 "$probe.log"))"
    return
  fi
  "$wine64" "$probe.exe" >/dev/null 2>&1
  if [ $? -ne 42 ]; then
    echo "SKIPPED windows64 lane: wine64 cannot run a 64-bit Windows program"
    "$wineserver64" -k 2>/dev/null || true
    return
  fi
  ctest_prefix=("${with_display[@]}")
  lane windows64
  ctest_prefix=()
  package_wine64=$wine64
  "$wineserver64" -k 2>/dev/null || true
}
echo
windows64_lane

# The archives come from the three Release builds above; without one of them
# there is nothing complete to package.
echo
echo "=== release archives ==="
missing_builds=""
for f in build/linux-release/plugin/Talvern.so build/linux-release/bin/talvern-render build/windows/plugin/Talvern.dll \
  build/windows64/plugin/Talvern-x64.dll build/windows64/bin/talvern-render.exe; do
  [ -f "$f" ] || missing_builds+=" $f"
done
if [ -n "$missing_builds" ]; then
  echo "SKIPPED package check: not built here:$missing_builds"
elif [ -z "$package_wine64" ]; then
  echo "SKIPPED package check: the windows64 lane did not run"
else
  bash scripts/check-package.sh "$package_wine64" "$package_wine32" || failed+=("package")
fi

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "lanes failed: ${failed[*]}"
  exit 1
fi
echo "all lanes passed"
