#!/usr/bin/env bash
# Installs what building and testing Kelmar needs on a Debian 12 machine, down
# to a minimal one (debootstrap minbase).  Packages are installed without
# their recommended ones, so everything used is named here.  Does nothing
# when all of it is present.
#   (default) everything the test command needs: the main job's packages and
#             the test set below
#   --main    only what the main job needs: the compiler, CMake and the
#             libraries of kelmar-convert
#   --bench   also the peers the benchmark compares against (libyuv, libswscale)
#             and what draws its chart (python3-matplotlib); imagefreeze
#             (gstreamer1.0-plugins-good) for scripts/bench-gst.sh
#   --bench-aarch64
#             what the aarch64 instruction counts (scripts/bench-aarch64.sh)
#             need besides the test set: llvm-16 (llvm-mca with Neoverse
#             scheduling models), python3
#   --fuzz    what the fuzz targets need (already part of the default set)
# Run as root (or with sudo available).
set -euo pipefail

# The main job: the library and kelmar-convert (scripts/main-job.sh).
main_packages=(cmake make g++ pkg-config libpng-dev libcli11-dev)

# The tests: clang with its sanitizer runtimes and symbolizer, clang-format
# for the style check, mingw-w64 for 32- and 64-bit Windows with wine to run
# the DLLs, llvm-dlltool (llvm) for the DLLs' MSVC import libraries and
# lld-link (lld) to link a host with them, the aarch64 cross compiler with
# qemu-user, GoogleTest, ffmpeg for test clips, valgrind, SDL 2 (kelmar-play)
# with the virtual X server and Mesa's software OpenGL (SDL's default
# renderer there) its tests run in, what cpack needs for Debian
# packages (dpkg-shlibdeps, file) and lintian, which checks them.  For the
# GStreamer plugin: GStreamer's development files (libgstcheck comes with
# libgstreamer1.0-dev), gst-launch-1.0 and gst-inspect-1.0, the base plugins
# its tests use (videotestsrc, videoconvert, the Theora encoder and decoder,
# Ogg, rawvideoparse), glimagesink, and Xlib for its screenshots.  The
# benchmark is built (not run) against Google Benchmark, libyuv and
# libswscale.
test_packages=(
  clang libgtest-dev
  libclang-rt-14-dev llvm lld binutils clang-format-14
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32 wine64
  g++-aarch64-linux-gnu qemu-user
  ffmpeg valgrind
  libsdl2-dev xvfb dpkg-dev file lintian
  libgl1 libglx-mesa0 libgl1-mesa-dri
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libx11-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-gl gstreamer1.0-x
  libbenchmark-dev libyuv-dev libswscale-dev libavutil-dev
)

bench_packages=(libbenchmark-dev libyuv-dev libswscale-dev libavutil-dev python3 python3-matplotlib
  gstreamer1.0-plugins-good)

main_only=0 bench=0 bench_aarch64=0
for arg in "$@"; do
  case "$arg" in
    --main) main_only=1 ;;
    --bench) bench=1 ;;
    --bench-aarch64) bench_aarch64=1 ;;
    --fuzz) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done
packages=("${main_packages[@]}")
[ $main_only = 1 ] || packages+=("${test_packages[@]}")
[ $bench = 0 ] || packages+=("${bench_packages[@]}")
[ $bench_aarch64 = 0 ] || packages+=(llvm-16 python3)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
    echo "install-deps.sh: missing packages and no root: run as root" >&2; exit 1
  fi
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# wine32 is an i386 package.
if [[ " ${packages[*]} " == *" wine32 "* ]] &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  query=$p
  [ "$p" = wine32 ] && query=wine32:i386
  installed "$query" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# A mirror in the middle of a sync fails an index or a download now and then;
# try again a little later before giving up.  Lists that stayed stale after
# the last try may still hold everything needed: the install decides.
retry() {
  local attempt
  for attempt in 1 2 3; do
    "$@" && return 0
    [ $attempt = 3 ] || { echo "install-deps.sh: retrying in 20 s" >&2; sleep 20; }
  done
  return 1
}

install_missing() {
  retry as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@" install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
}

# The sources without the security suite, as options for apt-get.  When one
# architecture's security lists fail to download, the other's newer versions
# of a multi-arch library (wine32 needs i386 ones) have no partner and the
# install fails; the release and its updates alone are consistent.
without_security=()
sources_without_security() {
  local dir
  dir=$(mktemp -d)
  mkdir "$dir/parts"
  [ ! -f /etc/apt/sources.list ] || grep -v -- '-security' /etc/apt/sources.list >"$dir/sources.list" || true
  touch "$dir/sources.list"
  for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    case "$f" in
      *.list) grep -v -- '-security' "$f" >"$dir/parts/${f##*/}" || true ;;
      *.sources) awk 'BEGIN { RS = ""; ORS = "\n\n" } !/-security/' "$f" >"$dir/parts/${f##*/}" ;;
    esac
  done
  without_security=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=$dir/parts")
}

echo "Installing: ${missing[*]}"
retry as_root apt-get update -qq || echo "install-deps.sh: package lists not all updated" >&2
if ! install_missing; then
  echo "install-deps.sh: trying again without the security suite" >&2
  sources_without_security
  as_root apt-get "${without_security[@]}" update -qq
  install_missing "${without_security[@]}"
  # Back to the usual lists for whatever runs apt next.
  as_root apt-get update -qq || true
fi
