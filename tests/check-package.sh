#!/usr/bin/env bash
# Builds the Debian package (build-pkg/kilnfont_*.deb), installs it with
# apt-get (so it needs root, and it changes the system: it is meant for CI
# or a throwaway machine), and checks the installed commands: the example
# font converted by /usr/bin/kilnfont, in a directory outside the checkout
# with the installed jis_uni.txt, must equal the font that the build tree's
# kilnfont writes. Needs dpkg-dev and file (for the computed dependencies).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-pkg

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKILN_BENCH=OFF
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/kilnfont_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/kilnfont_*.deb)
deb=${debs[0]}
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

fail() { echo "check-package: $*" >&2; exit 1; }
depends=$(dpkg-deb --field "$deb" Depends)
case $depends in libc6*) ;; *) fail "Depends is '$depends', not computed from the binaries" ;; esac
# kilnfinish --web packs its fonts with the system's WOFF2 encoder.
case $depends in *libwoff2enc*) ;; *) fail "Depends is '$depends', without the WOFF2 encoder" ;; esac

# A package of the same version already installed would be kept as it is.
if dpkg -s kilnfont >/dev/null 2>&1; then apt-get remove -y kilnfont; fi
apt-get install -y "$deb"
for f in /usr/bin/kilnfont /usr/bin/kilnfinish /usr/bin/bdf2pxg /usr/bin/mkjisuni /usr/share/kilnfont/jis_uni.txt \
         /usr/share/man/man1/kilnfont.1 /usr/share/man/man1/kilnfinish.1 /usr/share/man/man1/bdf2pxg.1 \
         /usr/share/man/man1/mkjisuni.1; do
  [ -f "$f" ] || fail "$f is not installed"
done

# Converts the example font in directory $1 with kilnfont $2 and jis_uni.txt
# $3; the log's last line must be "complete".
convert() {
  mkdir -p "$1"
  cp "$root"/example/example.info "$root"/example/*.pxg "$1"/
  cp "$3" "$1"/jis_uni.txt
  (cd "$1" && "$2" example.info gothic12.pxg gothic14.pxg gothic16.pxg >log)
  [ "$(tail -n 1 "$1"/log)" = complete ] || fail "$2 in $1: $(tail -n 1 "$1"/log)"
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert "$work/installed" /usr/bin/kilnfont /usr/share/kilnfont/jis_uni.txt
convert "$work/tree" "$build/kilnfont" "$root/example/jis_uni.txt"
cmp "$work/installed/kilnexample.ttf" "$work/tree/kilnexample.ttf"
cmp "$work/installed/log" "$work/tree/log"
# The installed kilnfinish finishes it as the build tree's does.
SOURCE_DATE_EPOCH=0 /usr/bin/kilnfinish "$work/installed/kilnexample.ttf" "$work/installed/finished.ttf"
SOURCE_DATE_EPOCH=0 "$build/kilnfinish" "$work/tree/kilnexample.ttf" "$work/tree/finished.ttf"
cmp "$work/installed/finished.ttf" "$work/tree/finished.ttf"
echo "check-package: $(basename "$deb") installed; /usr/bin/kilnfont wrote the same font as $build/kilnfont" \
  "($(stat -c %s "$work/installed/kilnexample.ttf") bytes)"
