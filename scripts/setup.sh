#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent: packages already present are skipped by apt.
# Usage: scripts/setup.sh [--windows | --windows64]
#   --windows    adds the i686 cross toolchain and 32-bit Wine (needs i386 packages)
#   --windows64  adds the x86-64 cross toolchain and 64-bit Wine (amd64 packages only)
set -euo pipefail

want_windows=0
want_windows64=0
case "${1:-}" in
  --windows) want_windows=1 ;;
  --windows64) want_windows64=1 ;;
  "") ;;
  *) echo "usage: $0 [--windows | --windows64]" >&2; exit 2 ;;
esac

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

native_pkgs=(build-essential cmake ninja-build ccache pkg-config zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev
  libsndfile1-dev libjpeg-dev libfreetype-dev libx11-dev libxext-dev xvfb python3 clang-format zip unzip
  libcairo2-dev libxtst-dev fonts-dejavu-core xauth)
windows_pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev
  libz-mingw-w64-dev wine wine32)
# wine64 alone: its loader is /usr/lib/wine/wine64, and nothing here pulls in i386.
windows64_pkgs=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  libz-mingw-w64-dev wine64)

missing() {
  local out=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || out+=("$p")
  done
  echo "${out[@]:-}"
}

updated=0
apt_update() {
  [ $updated -eq 1 ] && return 0
  $SUDO apt-get update -qq
  updated=1
}

need=$(missing "${native_pkgs[@]}")
if [ -n "$need" ]; then
  apt_update
  # shellcheck disable=SC2086
  $SUDO apt-get install -y -qq --no-install-recommends $need
fi

if [ $want_windows -eq 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  need=$(missing "${windows_pkgs[@]}")
  if [ -n "$need" ]; then
    apt_update
    # shellcheck disable=SC2086
    if ! $SUDO apt-get install -y -qq --no-install-recommends $need; then
      # The i386 indexes can lag behind amd64 ones for a while; retry once
      # without the security suite so both architectures resolve to one version.
      tmp=$(mktemp -d)
      src=/etc/apt/sources.list.d/debian.sources
      if [ -f "$src" ]; then
        awk 'BEGIN{RS="";ORS="\n\n"} !/-security/' "$src" > "$tmp/debian.sources"
        $SUDO apt-get -o Dir::Etc::sourcelist=/dev/null \
          -o Dir::Etc::sourceparts="$tmp" update -qq || true
        $SUDO apt-get -o Dir::Etc::sourcelist=/dev/null \
          -o Dir::Etc::sourceparts="$tmp" install -y -qq --no-install-recommends $need || exit 3
      else
        exit 3
      fi
      rm -rf "$tmp"
    fi
  fi
fi

if [ $want_windows64 -eq 1 ]; then
  need=$(missing "${windows64_pkgs[@]}")
  if [ -n "$need" ]; then
    apt_update
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $need || exit 3
  fi
fi

# libjpeg-turbo for the Windows builds: compiled static with the mingw
# toolchain from Debian's source package, so the DLLs import only system DLLs.
# Cached in build/deps/libjpeg-<processor>/ (include/, lib/libjpeg.a), where
# platform/ui/CMakeLists.txt looks for it; an existing build is kept.
src_root=$(cd "$(dirname "$0")/.." && pwd)
jpeg_root="$src_root/build/deps"
jpeg_source() {  # prints the unpacked source folder, fetching it once
  local dir
  dir=$(find "$jpeg_root/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' 2>/dev/null | head -n 1)
  if [ -z "$dir" ]; then
    # The system's sources turned into source stanzas in a temporary folder,
    # with their own index folder, so the system's apt setup stays untouched.
    local tmp
    tmp=$(mktemp -d)
    mkdir -p "$tmp/parts" "$tmp/lists/partial" "$jpeg_root/src"
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$tmp/parts/$(basename "$f")"
    done
    if [ -f /etc/apt/sources.list ]; then
      sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$tmp/parts/system.list"
    fi
    local opts=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$tmp/parts" -o Dir::State::Lists="$tmp/lists")
    $SUDO apt-get "${opts[@]}" update -qq >&2 &&
      (cd "$jpeg_root/src" && $SUDO apt-get "${opts[@]}" source -qq libjpeg-turbo >&2)
    rm -rf "$tmp"
    dir=$(find "$jpeg_root/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' 2>/dev/null | head -n 1)
  fi
  [ -n "$dir" ] && echo "$dir"
}
build_jpeg() {  # build_jpeg PROCESSOR (i686 or x86_64)
  local arch=$1 out="$jpeg_root/libjpeg-$1" work="$jpeg_root/libjpeg-$1-build" src
  [ -f "$out/lib/libjpeg.a" ] && [ -f "$out/include/jpeglib.h" ] && return 0
  src=$(jpeg_source) || { echo "libjpeg-turbo: apt-get source failed"; exit 3; }
  rm -rf "$work" "$out"
  if ! { cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src_root/cmake/mingw-$arch.cmake" \
    -DCMAKE_INSTALL_PREFIX="$out" -DCMAKE_BUILD_TYPE=Release -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_C_FLAGS=-ffp-contract=off >"$work.log" 2>&1 &&
    cmake --build "$work" -j"${JOBS:-2}" --target jpeg-static >>"$work.log" 2>&1; }; then
    tail -n 20 "$work.log"
    echo "libjpeg-turbo for $arch could not be built (log: $work.log)"
    exit 3
  fi
  mkdir -p "$out/lib" "$out/include"
  cp "$work/libjpeg.a" "$out/lib/"
  cp "$work/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$out/include/"
}
if [ $want_windows -eq 1 ]; then build_jpeg i686; fi
if [ $want_windows64 -eq 1 ]; then build_jpeg x86_64; fi
