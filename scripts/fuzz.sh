#!/usr/bin/env bash
# Builds the libFuzzer targets (chunk readers, chunks into a real instance,
# .fxp/.fxb readers, the settings store parser; clang,
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs each for a bounded
# time on a seed corpus made by the writers.
# Usage: scripts/fuzz.sh [seconds per target, default 30]
# Fails (non-zero) on any crash, leak, timeout or out-of-memory of a target.
# Prints one summary line per target.
set -euo pipefail

secs="${1:-30}"
case "$secs" in ''|*[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;; esac

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KES_FUZZ_BUILD_DIR:-$root/build-fuzz}"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

mkdir -p "$build"
cmake -S "$root/tests/fuzz" -B "$build" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$build/configure.log" 2>&1 \
  || { cat "$build/configure.log" >&2; echo "fuzz: configure failed" >&2; exit 1; }
cmake --build "$build" -j "${JOBS:-2}" >"$build/build.log" 2>&1 \
  || { tail -50 "$build/build.log" >&2; echo "fuzz: build failed" >&2; exit 1; }

rm -rf "$build/seeds"
"$build/make_corpus" "$build/seeds"

status=0
for target in program bank render presetfile settings; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/fuzz_$target.log"
  mkdir -p "$corpus" "$artifacts"
  rc=0
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
  "$build/fuzz_$target" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "$build/seeds/$target" >"$log" 2>&1 || rc=$?
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)"
  cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)"
  if [ "$rc" -eq 0 ]; then
    echo "fuzz_$target: ok, ${runs:-?} runs in ${secs}s, coverage ${cov:-?}, corpus $(ls "$corpus" | wc -l)"
  else
    status=1
    what="$(grep -m1 -oE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)[^ ]*: [^ ]*|runtime error|invariant broken: .*' "$log" || echo "exit $rc")"
    echo "fuzz_$target: FAILED ($what), log $log, artifacts $artifacts"
  fi
done
exit $status
