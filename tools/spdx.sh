#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source file carries the line "SPDX-License-Identifier: MIT" in a
# comment of its language, at the top (after a #! line, or the preprocessor
# line that must open a manual page). C++ sources, Python, shell, CMake and
# manual pages count as source; the test cases, fuzzing seeds, example font
# and documents are data and are left alone.
#
#   tools/spdx.sh           adds the line to every file without it
#   tools/spdx.sh --check   lists the files without it; fails if there are any
#
# The files are those git knows of, committed or not (ignored ones aside).
set -euo pipefail
cd "$(dirname "$0")/.."
git rev-parse --is-inside-work-tree >/dev/null || { echo "spdx: needs a git checkout" >&2; exit 1; }
tag='SPDX-License-Identifier: MIT'
check=0
case ${1:-} in
  --check) check=1 ;;
  '') ;;
  *) echo "usage: tools/spdx.sh [--check]" >&2; exit 2 ;;
esac

# Prints the comment line that carries the tag in file $1, or nothing when
# $1 is not a source file.
comment() {
  case $1 in
    tests/cases/*|tests/fuzz/corpus/*|example/*) ;;
    *.cc|*.h|*.h.in) echo "// $tag" ;;
    *.py|*.sh|*.cmake|*.cmake.in|CMakeLists.txt|*/CMakeLists.txt) echo "# $tag" ;;
    docs/man/*.[1-9]) echo ".\\\" $tag" ;;
    *) # a script without a suffix, such as .ci/run
       case ${1##*/} in *.*) ;; *) if [ "$(head -c 2 "$1")" = '#!' ]; then echo "# $tag"; fi ;; esac ;;
  esac
}

missing=0
while IFS= read -r -d '' f; do
  [ -f "$f" ] || continue
  line=$(comment "$f")
  [ -n "$line" ] || continue
  head -n 3 "$f" | grep -qF "$tag" && continue
  missing=$((missing + 1))
  if [ $check = 1 ]; then
    echo "$f"
    continue
  fi
  # The line goes first, or second after a line that must stay first.
  keep=0
  case $(head -n 1 "$f") in '#!'*|"'\\\""*) keep=1 ;; esac
  tmp=$(mktemp)
  { head -n $keep "$f"; printf '%s\n' "$line"; tail -n +$((keep + 1)) "$f"; } >"$tmp"
  cat "$tmp" >"$f"
  rm -f "$tmp"
  echo "spdx: added to $f"
done < <(git ls-files -z --cached --others --exclude-standard)

if [ $check = 1 ] && [ $missing -gt 0 ]; then
  echo "spdx: $missing source files above have no '$tag' line (tools/spdx.sh adds it)" >&2
  exit 1
fi
