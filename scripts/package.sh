#!/usr/bin/env bash
# Builds the Release plug-ins and writes the release archives to dist/:
#   talvern-<version>-windows-x86.zip     Talvern.dll (32-bit Windows)
#   talvern-<version>-windows-x64.zip     Talvern-x64.dll (64-bit Windows)
#   talvern-<version>-linux-x86_64.tar.gz Talvern.so and talvern-render
# each with INSTALL.txt and README.md, plus SHA256SUMS. The archives are
# reproducible: every time stamp is the commit's date (SOURCE_DATE_EPOCH wins
# when set), files are sorted and owned by 0:0 with fixed modes, and the
# binaries are stripped copies (strip writes SOURCE_DATE_EPOCH as a DLL's
# link time; the builds themselves write none).
# Usage: scripts/package.sh [--no-build] [--out DIR]
#   --no-build  archive the binaries already in build/ (the test lanes' builds)
#   --out DIR   write there instead of dist/
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mkdir -p build
build=1
out=dist
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0 ;;
    --out) out=$2; shift ;;
    *) echo "usage: $0 [--no-build] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done
export JOBS=${JOBS:-2}
export CCACHE_BASEDIR="$root"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C
version=$(sed -n 's/^project(Talvern VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }

# preset  archive suffix  plug-in  render host  strip tool
platforms=(
  "windows   windows-x86  plugin/Talvern.dll      -                  i686-w64-mingw32-strip"
  "windows64 windows-x64  plugin/Talvern-x64.dll  -                  x86_64-w64-mingw32-strip"
  "linux-release linux-x86_64 plugin/Talvern.so   bin/talvern-render strip"
)

if [ $build -eq 1 ]; then
  for flag in --windows --windows64; do
    bash scripts/setup.sh $flag >build/package-setup.log 2>&1 ||
      { echo "package: scripts/setup.sh $flag failed: $(tail -n 1 build/package-setup.log)" >&2; exit 1; }
  done
  for p in "${platforms[@]}"; do
    read -r preset _ <<<"$p"
    cmake --preset "$preset" >"build/$preset.configure.log" 2>&1 || { cat "build/$preset.configure.log"; exit 1; }
    cmake --build "build/$preset" -j"$JOBS" --target Talvern talvern-render >"build/$preset.package.log" 2>&1 ||
      { tail -n 40 "build/$preset.package.log"; exit 1; }
  done
fi

install_text() {  # install_text SUFFIX
  case "$1" in
    windows-x86) cat <<'TXT'
Talvern for 32-bit Windows hosts (VST 2.x)

Talvern.dll is for 32-bit DAWs, and for 64-bit DAWs that load 32-bit
plug-ins through a bridge. A 64-bit DAW without a bridge needs
Talvern-x64.dll from the windows-x64 archive instead.

Copy Talvern.dll into the folder your DAW scans for VST 2 plug-ins, for
example C:\Program Files (x86)\VSTPlugins or C:\Program Files (x86)\Common Files\VST2
(the DAW's plug-in settings name the folders it uses), then let the DAW
rescan its plug-ins.
TXT
      ;;
    windows-x64) cat <<'TXT'
Talvern for 64-bit Windows hosts (VST 2.x)

Talvern-x64.dll is for 64-bit DAWs, which is almost every Windows DAW today.
A 32-bit DAW needs Talvern.dll from the windows-x86 archive instead.

Copy Talvern-x64.dll into the folder your DAW scans for VST 2 plug-ins, for
example C:\Program Files\VSTPlugins or C:\Program Files\Common Files\VST2
(the DAW's plug-in settings name the folders it uses), then let the DAW
rescan its plug-ins.
TXT
      ;;
    linux-x86_64) cat <<'TXT'
Talvern for 64-bit Linux hosts (VST 2.x)

Copy Talvern.so into a folder your DAW scans for VST 2 plug-ins:
  ~/.vst                 for your user only
  /usr/lib/vst           for every user (or /usr/local/lib/vst)
Most Linux DAWs also read the folders listed in VST_PATH (separated by ':').
Then let the DAW rescan its plug-ins.

Check the plug-in from the command line (prints its name, parameters and
programs, or says why it does not load):
  ./talvern-render --info ./Talvern.so
talvern-render also renders audio files through the plug-in; see
talvern-render --help and README.md.
TXT
      ;;
  esac
}

rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

for p in "${platforms[@]}"; do
  read -r preset suffix plugin render strip <<<"$p"
  name=talvern-$version-$suffix
  dir=$stage/$name
  mkdir -p "$dir"
  [ -f "build/$preset/$plugin" ] || { echo "package: build/$preset/$plugin is missing (build it, or run without --no-build)" >&2; exit 1; }
  "$strip" --strip-unneeded -o "$dir/$(basename "$plugin")" "build/$preset/$plugin"
  if [ "$render" != "-" ]; then
    "$strip" --strip-unneeded -o "$dir/$(basename "$render")" "build/$preset/$render"
  fi
  install_text "$suffix" >"$dir/INSTALL.txt"
  cp README.md "$dir/README.md"
  if [ "${suffix%%-*}" = windows ]; then
    # Windows readers expect CRLF in the text files.
    sed -i 's/$/\r/' "$dir/INSTALL.txt"
  fi
  find "$dir" -type d -exec chmod 755 {} +
  find "$dir" -type f -exec chmod 644 {} +
  [ "$render" != "-" ] && chmod 755 "$dir/$(basename "$render")"
  [ "${suffix%%-*}" = linux ] && chmod 755 "$dir/$(basename "$plugin")"
  find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  if [ "${suffix%%-*}" = windows ]; then
    # -X: no uid/gid or extra time fields; names fed in sorted order.
    (cd "$stage" && find "$name" | sort | zip -X -q -@ "$out/$name.zip")
  else
    tar -C "$stage" --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
      -cf - "$name" | gzip -n -9 >"$out/$name.tar.gz"
  fi
done

(cd "$out" && find . -maxdepth 1 -name 'talvern-*' -printf '%f\n' | sort | xargs sha256sum -- >SHA256SUMS)
cat "$out/SHA256SUMS"
