#!/usr/bin/python3
# Draws the program icon (a sheet of paper with a folded corner and a check mark) as PNG files at
# the sizes the tray and the window use: shell/icons/tarvik-<size>.png. Run after changing the drawing.
import math
import os
import sys

import cairo

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "shell", "icons")


def draw(size):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
    cr = cairo.Context(surface)
    cr.scale(size / 48.0, size / 48.0)
    # Paper: snapped to whole pixels of the 48 grid so that the small sizes stay sharp.
    cr.move_to(8, 3)
    cr.line_to(30, 3)
    cr.line_to(40, 13)
    cr.line_to(40, 45)
    cr.line_to(8, 45)
    cr.close_path()
    cr.set_source_rgb(0.97, 0.97, 0.95)
    cr.fill_preserve()
    cr.set_source_rgb(0.16, 0.29, 0.48)
    cr.set_line_width(3)
    cr.set_line_join(cairo.LINE_JOIN_ROUND)
    cr.stroke()
    # Folded corner.
    cr.move_to(30, 3)
    cr.line_to(30, 13)
    cr.line_to(40, 13)
    cr.set_line_width(2.5)
    cr.stroke()
    # Check mark on a green disc: the document is there and opens.
    cr.arc(30, 34, 12, 0, 2 * math.pi)
    cr.set_source_rgb(0.13, 0.55, 0.27)
    cr.fill()
    cr.move_to(23.5, 34.5)
    cr.line_to(28, 39)
    cr.line_to(36.5, 29.5)
    cr.set_source_rgb(1, 1, 1)
    cr.set_line_width(3.5)
    cr.set_line_cap(cairo.LINE_CAP_ROUND)
    cr.stroke()
    surface.write_to_png(os.path.join(OUT, "tarvik-%d.png" % size))


for s in (16, 22, 24, 32, 48, 128):
    draw(s)
sys.exit(0)
