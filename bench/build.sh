# SPDX-License-Identifier: MIT
# Sourced by the benchmark scripts, with root and build set: configures the
# build directory with the benchmarks on (RelWithDebInfo when it is new),
# builds kilnfont, bdf2ttf and the floor program, and sets kiln, b2t and
# floor to them.
type=()
[ -f "$build/CMakeCache.txt" ] || type=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
cmake -S "$root" -B "$build" "${type[@]}" -DKILN_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target kilnfont bdf2ttf floor >/dev/null
kiln="$build/kilnfont" b2t="$build/bdf2ttf" floor="$build/bench/floor"
