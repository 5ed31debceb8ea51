#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the PNG icons from quillmark.svg (rsvg-convert, Debian package
# librsvg2-bin). The PNGs are committed, so a build needs no renderer; run
# this after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" quillmark.svg --output "quillmark-$size.png"
done
