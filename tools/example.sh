#!/usr/bin/env bash
# Builds kilnfont and converts the example font in example/ into
# example/kilnexample.ttf (bitmaps embedded). Extra arguments (such as -n)
# are passed to kilnfont before the info-file.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kilnfont
cd example
../build/kilnfont "$@" example.info *.pxg
