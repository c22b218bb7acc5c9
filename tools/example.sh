#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds kilnfont (only it: no tests, no benchmarks, so a C++ compiler and
# CMake are all it needs) in build-example/ and converts the example font in
# example/ into example/kilnexample.ttf (bitmaps embedded). Extra arguments
# (such as -n) are passed to kilnfont before the info-file.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKILN_BENCH=OFF >/dev/null
cmake --build build-example -j"$(nproc)" --target kilnfont
cd example
../build-example/kilnfont "$@" example.info *.pxg
