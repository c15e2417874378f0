#!/usr/bin/env bash
# Sets up the machine, builds the plug-in and the render host, and runs the
# main job: a generated demo mix rendered through a few factory programs, with
# what each program did to it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
export CCACHE_BASEDIR="$root"
cmake --preset demo >/dev/null
cmake --build build/demo -j"${JOBS:-2}" --target Talvern talvern-render talvern-demo
bin=build/demo/bin
out=build/demo/out
mkdir -p "$out"
"$bin/talvern-render" --info build/demo/plugin/Talvern.so | head -8
"$bin/talvern-demo" --make "$out/demo.wav" 8
echo
echo "demo mix: $out/demo.wav (8 s, stereo, 44.1 kHz)"
for program in "Default" "Radio Mix" "Deeper" "Open Highs" "Openness" "Mastering Compression" "Overcompression"; do
  file="$out/$(echo "$program" | tr ' ' '_').wav"
  "$bin/talvern-render" --plugin build/demo/plugin/Talvern.so --in "$out/demo.wav" --out "$file" \
    --program "$program" 2>/dev/null | tail -n 1 | sed "s/^/  [$program] /"
  printf '  %-22s ' "$program:"
  "$bin/talvern-demo" --compare "$out/demo.wav" "$file"
done
echo
echo "rendered files are in $out"
