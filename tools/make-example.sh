#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Regenerates the example font's inputs in example/: jis_uni.txt (from the C
# library's EUC-JP converter) and one pxg file per pixel size, made from the
# public-domain Shinonome gothic bitmap fonts of Debian's xfonts-shinonome
# (12, 14 and 16 pixels; PCF turned into BDF by pcf2bdf). example.info is
# written by hand and left alone.
#   usage: tools/make-example.sh [build-dir]     (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$root" && realpath -m "${1:-build}")"
fonts=/usr/share/fonts/X11/misc

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target bdf2pxg mkjisuni

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$build/tools/mkjisuni" "$root/example/jis_uni.txt"
for size in 12 14 16; do
  gzip -dc "$fonts/shnmk$size.pcf.gz" >"$tmp/shnmk$size.pcf"
  pcf2bdf -o "$tmp/shnmk$size.bdf" "$tmp/shnmk$size.pcf"
  "$build/tools/bdf2pxg" -o "$root/example/gothic$size.pxg" "$tmp/shnmk$size.bdf"
done
