#!/usr/bin/env bash
# Installs what building and testing Kelmar needs on a Debian 12 machine, down
# to a minimal one (debootstrap minbase): compilers (native, clang, mingw-w64
# for 32- and 64-bit Windows, aarch64), wine for the DLLs' tests, qemu-user
# for the aarch64 tests, the sanitizer runtimes and symbolizer, clang-format for the style check, the libraries
# of the tools, the virtual X server kelmar-play's tests run in, and what
# cpack needs for Debian packages (dpkg-shlibdeps, file).  Packages are
# installed without their recommended ones, so everything used is named
# here.  Does nothing when all of it is present.
#   --bench   also the peers the benchmark compares against (libyuv, libswscale)
#             and what draws its chart (python3-matplotlib)
#   --bench-aarch64
#             what the aarch64 instruction counts need besides the default
#             set: llvm-16 (llvm-mca with Neoverse scheduling models), python3
#   --fuzz    what the fuzz targets need (already part of the default set)
# Run as root (or with sudo available).
set -euo pipefail

packages=(
  cmake make g++ clang pkg-config libgtest-dev
  libclang-rt-14-dev llvm binutils clang-format-14
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32 wine64
  g++-aarch64-linux-gnu qemu-user
  libpng-dev libcli11-dev ffmpeg valgrind
  libsdl2-dev xvfb dpkg-dev file
)
for arg in "$@"; do
  case "$arg" in
    --bench)
      packages+=(libbenchmark-dev libyuv-dev libswscale-dev libavutil-dev python3 python3-matplotlib)
      ;;
    --bench-aarch64) packages+=(llvm-16 python3) ;;
    --fuzz) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
    echo "install-deps.sh: missing packages and no root: run as root" >&2; exit 1
  fi
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# wine32 is an i386 package.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  query=$p
  [ "$p" = wine32 ] && query=wine32:i386
  installed "$query" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
