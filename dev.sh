#!/usr/bin/env bash
# Builds what is needed and runs it:
#   ./dev.sh example   build the release program, run examples/demo.in and plot it
#   ./dev.sh test      build with the sanitizers and run every test (the plot tests need gnuplot)
#   ./dev.sh bench     build the release benchmarks and run them
set -euo pipefail
cd "$(dirname "$0")"

need_packages() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v g++ >/dev/null || missing+=(g++)
  for pkg in "$@"; do
    # Any gnuplot on PATH serves corvanel-plot, whichever package brought it.
    [ "$pkg" = gnuplot-nox ] && command -v gnuplot >/dev/null && continue
    dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    echo "dev.sh: installing ${missing[*]}" >&2
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
  else
    echo "dev.sh: missing Debian packages: ${missing[*]} (install them with: sudo apt-get install ${missing[*]})" >&2
    exit 1
  fi
}

case "${1:-}" in
  example)
    need_packages libgtest-dev libbenchmark-dev gnuplot-nox libkissfft-dev nlohmann-json3-dev libeigen3-dev libcli11-dev
    cmake --workflow --preset example
    ;;
  test)
    need_packages libgtest-dev gnuplot-nox libkissfft-dev nlohmann-json3-dev libeigen3-dev libcli11-dev
    cmake --workflow --preset dev
    ;;
  bench)
    need_packages libgtest-dev libbenchmark-dev libkissfft-dev nlohmann-json3-dev libeigen3-dev libcli11-dev
    cmake --preset release >/dev/null && cmake --build --preset release
    for b in build/release/bench/corvanel_bench_*; do "$b"; done
    ;;
  *)
    echo "usage: ./dev.sh example | test | bench" >&2
    exit 2
    ;;
esac
