#!/usr/bin/python3
"""Shinonome mincho 12, 14 and 16 px, every character, in four pxg shapes."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from realfont import Case, Suite, pxg  # noqa: E402

CASES = [
    # One file per size, given smallest first: each new size goes in front.
    Case('mincho 12, 14, 16 a file each', 'mincho', [pxg([(12,)]), pxg([(14,)]), pxg([(16,)])]),
    # 16 px spread by code over four files, bitmaps in the data fork; the
    # outlines come from the same 16 px bitmaps as above.
    Case('mincho 16 over 4 files, data fork', 'mincho', [pxg([(16, k, 4)], '--datafork') for k in range(4)]),
    # 14 and 12 px in one file, largest first, three inline blocks each:
    # outlines traced at 14.
    Case('mincho 14+12 in one file, 3 blocks each', 'mincho', [pxg([(14,), (12,)], '--split', '3')]),
    # 12 px alone in one file, two blocks in the data fork (the second one
    # begins just below the 64 KiB a data-fork position can reach).
    Case('mincho 12 in 2 blocks, data fork', 'mincho', [pxg([(12,)], '--datafork', '--split', '2', '--plain')]),
]

# Measured: 16 px 89.85 / 75.00, 14 px 96.74 / 90.82, 12 px every glyph exact.
FLOORS = {('mincho', 16): (89.3, 74.0), ('mincho', 14): (96.0, 89.0), ('mincho', 12): (100.0, 100.0)}

if __name__ == '__main__':
    sys.exit(Suite('mincho_test').run(CASES, FLOORS))
