#!/usr/bin/env bash
# Installs what the build needs (Debian 12, as root), builds, and then runs
# the console program ("run") or every test ("test").
set -euo pipefail

cd "$(dirname "$0")/.."
mode=${1:-run}
jobs=$(nproc)

packages=(g++ cmake ninja-build libgtest-dev libgmock-dev zlib1g-dev libgmp-dev swi-prolog-nox python3 binutils)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# build DIR [cmake options...] [--target TARGET]
build() {
  local dir=$1
  shift
  local options=() targets=()
  while [ $# -gt 0 ] && [ "$1" != --target ]; do
    options+=("$1")
    shift
  done
  targets=("$@")
  cmake -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

install_packages
case "$mode" in
  run)
    build build
    exec build/bin/lorvika-4.9.0
    ;;
  test)
    build build
    ctest --test-dir build -j "$jobs" --output-on-failure
    # The same unit tests under AddressSanitizer and UndefinedBehaviorSanitizer.
    build build-asan -DLV_SANITIZE=ON
    ctest --test-dir build-asan -j "$jobs" --output-on-failure
    # The tests that start threads (label "threads") under ThreadSanitizer;
    # only their programs are built.
    build build-tsan -DLV_TSAN=ON --target threads_tests
    ctest --test-dir build-tsan -L threads -j "$jobs" --output-on-failure
    ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
