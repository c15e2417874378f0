#!/usr/bin/env bash
# Sets up the machine, builds the plug-in and the render host, and runs the
# main job: load the built plug-in as a host does and show what it reports.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DKES_TESTS=OFF -DKES_BENCH=OFF >/dev/null
cmake --build build/demo -j"${JOBS:-2}" --target Talvern talvern-render
build/demo/bin/talvern-render --info build/demo/plugin/Talvern.so
