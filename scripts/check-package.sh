#!/usr/bin/env bash
# Checks the release archives made from the test lanes' builds: two runs of
# scripts/package.sh give byte-identical archives, the Windows DLLs carry no
# link time of their own (none in the build, the commit's date after strip,
# which reads SOURCE_DATE_EPOCH), and every archive unpacks to a plug-in that
# a host of its platform loads (talvern-render --info; the Windows hosts
# under Wine).
# Usage: scripts/check-package.sh WINE64 [WINE32]   (WINE32 empty: no 32-bit Wine here)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
wine64=$1
wine32=${2:-}
export WINEDEBUG=-all
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
work=build/package-check
rm -rf "$work"
mkdir -p "$work"
status=0
fail() { echo "FAILED package check: $*"; status=1; }

# A second apart, so that anything taken from the clock shows as a difference.
for run in a b; do
  [ $run = b ] && sleep 1
  bash scripts/package.sh --no-build --out "$work/$run" >"$work/$run.log" 2>&1 || { cat "$work/$run.log"; exit 1; }
done
if cmp -s "$work/a/SHA256SUMS" "$work/b/SHA256SUMS"; then
  echo "two runs, same archives:"
  sed 's/^/  /' "$work/a/SHA256SUMS"
else
  diff "$work/a/SHA256SUMS" "$work/b/SHA256SUMS"
  fail "two runs gave different archives"
fi
(cd "$work/a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the archives"

# The PE header's TimeDateStamp (4 bytes at 8 past the "PE\0\0" signature).
pe_time() {
  python3 -c 'import struct,sys; b=open(sys.argv[1],"rb").read(4096); o=struct.unpack_from("<I",b,0x3C)[0]; print(struct.unpack_from("<I",b,o+8)[0])' "$1"
}

mkdir -p "$work/unpacked"
for archive in "$work"/a/*.zip "$work"/a/*.tar.gz; do
  name=$(basename "$archive")
  name=${name%.zip}
  name=${name%.tar.gz}
  case "$archive" in
    *.zip) unzip -q "$archive" -d "$work/unpacked" ;;
    *) tar -xzf "$archive" -C "$work/unpacked" ;;
  esac
  dir=$work/unpacked/$name
  for f in INSTALL.txt README.md; do [ -s "$dir/$f" ] || fail "$name has no $f"; done
  case "$name" in
    *-windows-x86)
      plugin=$dir/Talvern.dll
      [ "$(pe_time build/windows/plugin/Talvern.dll)" = 0 ] || fail "the built Talvern.dll has a link time stamp"
      [ "$(pe_time "$plugin")" = "$epoch" ] || fail "$name: Talvern.dll has a time stamp other than the commit's"
      if [ -n "$wine32" ]; then
        WINEPREFIX="$root/build/wineprefix" WINEARCH=win32 "$wine32" build/windows/bin/talvern-render.exe --info "$plugin" \
          >"$work/$name.info" 2>&1 || fail "$name: the 32-bit Windows host cannot load Talvern.dll"
      else
        echo "  $name: not loaded (no 32-bit Wine here)"
      fi
      ;;
    *-windows-x64)
      plugin=$dir/Talvern-x64.dll
      [ "$(pe_time build/windows64/plugin/Talvern-x64.dll)" = 0 ] || fail "the built Talvern-x64.dll has a link time stamp"
      [ "$(pe_time "$plugin")" = "$epoch" ] || fail "$name: Talvern-x64.dll has a time stamp other than the commit's"
      WINEPREFIX="$root/build/wineprefix64" WINEARCH=win64 "$wine64" build/windows64/bin/talvern-render.exe --info "$plugin" \
        >"$work/$name.info" 2>&1 || fail "$name: the 64-bit Windows host cannot load Talvern-x64.dll"
      ;;
    *-linux-x86_64)
      plugin=$dir/Talvern.so
      "$dir/talvern-render" --info "$plugin" >"$work/$name.info" 2>&1 ||
        fail "$name: its talvern-render cannot load Talvern.so"
      ;;
  esac
  if [ -f "$work/$name.info" ]; then
    grep -q "^product: *Kestrune Talvern VST" "$work/$name.info" || fail "$name: --info did not describe the plug-in"
    echo "  $name: $(grep -m 1 "^plug-in:" "$work/$name.info" | tr -s ' ') loads"
  fi
done
exit $status
