#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that every source file has its licence line; builds kilnfont and
# runs every test, with warnings as errors, in three builds: g++
# (RelWithDebInfo, benchmarks included), clang++ (Release) and g++ with
# AddressSanitizer and UndefinedBehaviorSanitizer (Debug); then runs every
# fuzz target for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# Every source file carries its licence line.
tools/spdx.sh --check

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKILN_WERROR=ON -DBUILD_TESTING=ON -DKILN_BENCH=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release -DKILN_WERROR=ON \
  -DBUILD_TESTING=ON -DKILN_BENCH=OFF
cmake --build build-clang -j"$jobs"
ctest --test-dir build-clang --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKILN_SANITIZE=ON -DKILN_WERROR=ON -DBUILD_TESTING=ON \
  -DKILN_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"

# Every fuzz target for a minute (clang++ with libFuzzer, ASan and UBSan).
tests/fuzz.sh 60
