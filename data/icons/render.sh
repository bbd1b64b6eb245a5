#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the program's icon (../mediatar.svg) to the PNG sizes built into the program, for window systems and
# Qt builds that cannot read SVG. Run again after the SVG changes; needs gdk-pixbuf with its SVG loader.
set -e
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    gdk-pixbuf-thumbnailer -s "$size" ../mediatar.svg "mediatar-$size.png"
done
