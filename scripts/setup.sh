#!/usr/bin/env bash
# Brings this machine to the point where ambrel builds: the toolchain and test
# packages, and yyjson's source unpacked under deps/. Optional extras, named as
# arguments: windows (mingw-w64 and Wine, for the DLL and its tests),
# hardening (clang's fuzzer and sanitizers, valgrind), bench (Google Benchmark,
# strace, psutil), clients (the real clients the tests use: promtool, Mono,
# dpkg's package tools, pkg-config). Safe to run again; it only does what is
# missing. On Debian (as root) it installs with apt-get; elsewhere it says
# what to install.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
yyjson_version=0.10.0
yyjson_tarball="yyjson_${yyjson_version}+ds.orig.tar.xz"
yyjson_sha256=ae6fde69a193e10afab426ef13f113d6903446405f9db9ee98bfb572bd6c961a
yyjson_dir="$top/deps/yyjson-$yyjson_version"
windows=false hardening=false bench=false clients=false
for extra in "$@"; do
  case "$extra" in
    windows) windows=true ;;
    hardening) hardening=true ;;
    bench) bench=true ;;
    clients) clients=true ;;
    *) echo "setup: unknown extra '$extra'" >&2; exit 2 ;;
  esac
done

# Packages the build and the tests need, by the command or file that shows
# each one is there.
need_packages() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  command -v g++ >/dev/null || missing+=(g++)
  command -v xz >/dev/null || missing+=(xz-utils)
  command -v python3 >/dev/null || missing+=(python3)
  command -v unshare >/dev/null || missing+=(util-linux)
  command -v nm >/dev/null || missing+=(binutils)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  [ -f /usr/share/keyrings/debian-archive-keyring.gpg ] || missing+=(debian-archive-keyring)
  if $windows; then
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
    command -v flock >/dev/null || missing+=(util-linux)
    { command -v wine64 || command -v wine || [ -x /usr/lib/wine/wine64 ]; } >/dev/null || missing+=(wine64)
  fi
  if $hardening; then
    command -v clang++ >/dev/null || missing+=(clang)
    compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
      missing+=(libclang-rt-dev)
    command -v valgrind >/dev/null || missing+=(valgrind)
  fi
  if $bench; then
    [ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
    command -v strace >/dev/null || missing+=(strace)
    command -v valgrind >/dev/null || missing+=(valgrind)
    python3 -c 'import psutil' 2>/dev/null || /usr/bin/python3 -c 'import psutil' 2>/dev/null ||
      missing+=(python3-psutil)
  fi
  if $clients; then
    command -v promtool >/dev/null || missing+=(prometheus)
    command -v mcs >/dev/null || missing+=(mono-mcs)
    command -v mono >/dev/null || missing+=(mono-runtime)
    command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
    command -v pkg-config >/dev/null || missing+=(pkg-config)
    command -v cc >/dev/null || missing+=(gcc)
  fi
  printf '%s\n' "${missing[@]}"
}

install_packages() {
  local missing
  missing=$(need_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "setup: installing $(echo $missing)"
    apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
  else
    echo "setup: please install these packages (Debian names): $(echo $missing)" >&2
    exit 1
  fi
}

# The archive address this machine already uses for its own packages.
archive_uri() {
  local uri=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' /etc/apt/sources.list)
  fi
  echo "$uri"
}

# yyjson is not packaged for Debian 12; Debian 13 has its source. Fetch it
# through a private apt configuration so the machine's own stays untouched.
fetch_yyjson() {
  [ -f "$yyjson_dir/src/yyjson.c" ] && return 0
  local uri work
  uri=$(archive_uri)
  if [ -z "$uri" ] || ! command -v apt-get >/dev/null; then
    echo "setup: cannot find a Debian archive; unpack yyjson $yyjson_version into $yyjson_dir" >&2
    exit 1
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri trixie main" >"$work/sources.list"
  local apt=(apt-get -q -o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o APT::Sandbox::User=root)
  echo "setup: fetching yyjson $yyjson_version source"
  "${apt[@]}" update >/dev/null
  (cd "$work" && "${apt[@]}" source --download-only --tar-only yyjson >/dev/null)
  echo "$yyjson_sha256  $work/$yyjson_tarball" | sha256sum -c --quiet -
  mkdir -p "$work/unpacked"
  tar -xJf "$work/$yyjson_tarball" -C "$work/unpacked"
  local src
  src=$(dirname "$(dirname "$(find "$work/unpacked" -path '*/src/yyjson.c' | head -n 1)")")
  mkdir -p "$top/deps"
  rm -rf "$yyjson_dir"
  cp -r "$src" "$yyjson_dir"
}

install_packages
fetch_yyjson
