#!/usr/bin/env bash
# Builds what is needed and runs it:
#   ./dev.sh example          build corvanel, corvanel-plot and corvanel-sweep (release preset),
#                             run examples/demo.in and plot it
#   ./dev.sh test             build with the sanitizers and run every test, the install and
#                             Debian package tests included; a skipped test fails the command
#   ./dev.sh install PREFIX   release build of the programs (package preset), installed into
#                             PREFIX/bin, PREFIX/share/man/man1 and PREFIX/share/corvanel
#   ./dev.sh bench            build the release benchmarks and run them
set -euo pipefail
caller_dir=$PWD
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

# What every build needs: the compiler cache is optional but makes rebuilds cheap.
build_packages=(libcli11-dev libkissfft-dev nlohmann-json3-dev libeigen3-dev libhdf5-dev libdeflate-dev zlib1g-dev ccache)

case "${1:-}" in
  example)
    # The release preset also configures its tests and benchmarks, which are not built here.
    need_packages "${build_packages[@]}" libgtest-dev libbenchmark-dev gnuplot-nox
    cmake --workflow --preset example
    echo "Programs: build/release/app/corvanel, build/release/plot/corvanel-plot, build/release/sweep/corvanel-sweep, build/release/frf/corvanel-frf"
    ;;
  test)
    # parallel: the sweep runner's tests; help2man, dpkg-dev and file: the manual pages and the
    # Debian package that the install tests check; slurmctld, slurmd, slurm-client and munge:
    # the single-node Slurm cluster that the sweep's Slurm test starts; python3-h5py: reading
    # BASE.h5 as Python does.
    need_packages "${build_packages[@]}" libgtest-dev gnuplot-nox parallel help2man dpkg-dev file clang-format \
      slurmctld slurmd slurm-client munge python3-h5py
    cmake --preset dev
    cmake --build --preset dev
    log=build/dev/ctest.log
    ctest --preset dev 2>&1 | tee "$log"
    # A skipped test hides what it is there to catch: here every test can run, so one that
    # did not fails the test command.
    if grep -q "The following tests did not run:" "$log"; then
      echo "dev.sh: some tests were skipped (listed above); install what they need" >&2
      exit 1
    fi
    ;;
  install)
    if [ $# -ne 2 ]; then
      echo "usage: ./dev.sh install PREFIX" >&2
      exit 2
    fi
    prefix=$(cd "$caller_dir" && realpath -m "$2")
    need_packages "${build_packages[@]}" help2man
    cmake --preset package >/dev/null
    cmake --build --preset package
    cmake --install build/package --prefix "$prefix"
    echo "Installed into $prefix; to run the programs by name: export PATH=\"$prefix/bin:\$PATH\""
    ;;
  bench)
    need_packages "${build_packages[@]}" libgtest-dev libbenchmark-dev
    cmake --preset release >/dev/null && cmake --build --preset release
    for b in build/release/bench/corvanel_bench_*; do "$b"; done
    ;;
  *)
    echo "usage: ./dev.sh example | test | install PREFIX | bench" >&2
    exit 2
    ;;
esac
