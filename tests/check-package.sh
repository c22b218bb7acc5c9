#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package (build-pkg/kilnfont_*.deb) and checks it as a
# distribution would: lintian finds no error or warning, and a second build
# of the same commit, in another directory with another umask and time zone,
# gives the same bytes. Then installs it with apt-get (so it needs root, and
# it changes the system: it is meant for CI or a throwaway machine) and
# checks the installed commands: hardening-check passes on each, and the
# example font converted by /usr/bin/kilnfont, in a directory outside the
# checkout with the installed jis_uni.txt, must equal the font that the
# build tree's kilnfont writes. Needs dpkg-dev and file (for the computed
# dependencies), lintian, and devscripts (hardening-check).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-pkg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

# Configures, builds and packages in directory $1; prints the .deb's path.
package() {
  cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKILN_BENCH=OFF >&2
  cmake --build "$1" -j"$(nproc)" >&2
  rm -f "$1"/kilnfont_*.deb
  (cd "$1" && cpack -G DEB >&2)
  local debs=("$1"/kilnfont_*.deb)
  echo "${debs[0]}"
}
deb=$(package "$build")
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

depends=$(dpkg-deb --field "$deb" Depends)
case $depends in *"libc6 ("*) ;; *) fail "Depends is '$depends', not computed from the binaries" ;; esac
# kilnfinish --web and bdf2ttf --web pack their fonts with the system's
# WOFF2 encoder (libwoff2enc, in Debian's package libwoff1), which they load
# when needed: the package names it itself, the computed list cannot.
case $depends in *libwoff1*) ;; *) fail "Depends is '$depends', without the WOFF2 encoder" ;; esac

lintian --fail-on error,warning --display-info "$deb" || fail "lintian reports errors or warnings on $deb"

# The same commit built again elsewhere, at another time, with a umask that
# would make group-writable directories and another time zone.
deb2=$(umask 0002 && TZ=Asia/Tokyo package "$work/second-build")
if ! cmp "$deb" "$deb2"; then
  diff <(dpkg-deb --contents "$deb") <(dpkg-deb --contents "$deb2") >&2 || true
  diff <(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./md5sums) \
       <(dpkg-deb --ctrl-tarfile "$deb2" | tar -xO ./md5sums) >&2 || true
  fail "two builds of one commit give different packages"
fi

# A package of the same version already installed would be kept as it is.
if dpkg -s kilnfont >/dev/null 2>&1; then apt-get remove -y kilnfont; fi
apt-get install -y "$deb"
for f in /usr/bin/kilnfont /usr/bin/kilnfinish /usr/bin/bdf2ttf /usr/bin/bdf2pxg /usr/bin/mkjisuni /usr/share/kilnfont/jis_uni.txt \
         /usr/share/man/man1/kilnfont.1.gz /usr/share/man/man1/kilnfinish.1.gz /usr/share/man/man1/bdf2ttf.1.gz\
         /usr/share/man/man1/bdf2pxg.1.gz /usr/share/man/man1/mkjisuni.1.gz \
         /usr/share/doc/kilnfont/copyright /usr/share/doc/kilnfont/changelog.gz; do
  [ -f "$f" ] || fail "$f is not installed"
done

# Every installed command is hardened. Control-flow protection is not asked
# of hardening-check: Debian 12's C start files (Scrt1.o, crti.o, crtn.o)
# carry no IBT/SHSTK mark, so the linker drops it from every program there.
# Instead, on amd64, the objects compiled here must carry it.
mapfile -t bins < <(dpkg -L kilnfont | grep '^/usr/bin/.')
hardening-check --nocfprotection "${bins[@]}" || fail "hardening-check fails"
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  while IFS= read -r -d '' o; do
    readelf -n "$o" | grep -q 'x86 feature: IBT, SHSTK' || fail "$o is not built with -fcf-protection"
  done < <(find "$build" -path '*.dir/*.o' -print0)
fi

# Converts the example font in directory $1 with kilnfont $2 and jis_uni.txt
# $3; the log's last line must be "complete".
convert() {
  mkdir -p "$1"
  cp "$root"/example/example.info "$root"/example/*.pxg "$1"/
  cp "$3" "$1"/jis_uni.txt
  (cd "$1" && "$2" example.info gothic12.pxg gothic14.pxg gothic16.pxg >log)
  [ "$(tail -n 1 "$1"/log)" = complete ] || fail "$2 in $1: $(tail -n 1 "$1"/log)"
}
convert "$work/installed" /usr/bin/kilnfont /usr/share/kilnfont/jis_uni.txt
convert "$work/tree" "$build/kilnfont" "$root/example/jis_uni.txt"
cmp "$work/installed/kilnexample.ttf" "$work/tree/kilnexample.ttf"
cmp "$work/installed/log" "$work/tree/log"
# bdf2ttf, installed and from the tree, on the fonts as Debian installs them.
(cd "$work/installed" && /usr/bin/bdf2ttf -q /usr/share/fonts/X11/misc/shnmk1{2,4,6}.pcf.gz) ||
  fail "/usr/bin/bdf2ttf failed"
(cd "$work/tree" && "$build/bdf2ttf" -q /usr/share/fonts/X11/misc/shnmk1{2,4,6}.pcf.gz)
cmp "$work/installed/ShinonomeGothic-Regular.ttf" "$work/tree/ShinonomeGothic-Regular.ttf"
# The installed kilnfinish finishes it as the build tree's does.
SOURCE_DATE_EPOCH=0 /usr/bin/kilnfinish "$work/installed/kilnexample.ttf" "$work/installed/finished.ttf"
SOURCE_DATE_EPOCH=0 "$build/kilnfinish" "$work/tree/kilnexample.ttf" "$work/tree/finished.ttf"
cmp "$work/installed/finished.ttf" "$work/tree/finished.ttf"
echo "check-package: $(basename "$deb") is lintian-clean, hardened and reproducible; /usr/bin/kilnfont" \
  "wrote the same font as $build/kilnfont ($(stat -c %s "$work/installed/kilnexample.ttf") bytes)"
