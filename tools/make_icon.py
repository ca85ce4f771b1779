#!/usr/bin/env python3
"""Draws the program's icon, a six-armed snowflake star, as 32x32 and 16x16 XPM images.

The star is white at the heart, cyan along the arms and teal at the tips, outlined in black
on a transparent ground; it is drawn once per arm, so all six arms are the same.
Run it from the repository's root: python3 tools/make_icon.py
"""
import math
from pathlib import Path

PALETTE = {" ": "None", ".": "#000000", "w": "#FFFFFF", "c": "#00FFFF", "t": "#008080"}


def near_segment(px, py, ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    u = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    qx, qy = ax + u * dx, ay + u * dy
    return math.hypot(px - qx, py - qy) <= width


def star(size):
    centre = (size - 1) / 2
    reach = size * 0.40
    grid = [[" "] * size for _ in range(size)]
    segments = []
    for arm in range(6):
        angle = math.radians(90 + 60 * arm)
        ux, uy = math.cos(angle), -math.sin(angle)
        tip = (centre + ux * reach, centre + uy * reach)
        segments.append(((centre, centre), tip, "c"))
        # Two side branches per arm, at 60 degrees to it, halfway out; too fine for 16x16.
        base = (centre + ux * reach * 0.55, centre + uy * reach * 0.55)
        for side in ((-1, 1) if size >= 32 else ()):
            branch = angle + side * math.radians(60)
            end = (base[0] + math.cos(branch) * reach * 0.35,
                   base[1] - math.sin(branch) * reach * 0.35)
            segments.append((base, end, "c"))
        segments.append(((centre + ux * reach * 0.8, centre + uy * reach * 0.8), tip, "t"))
    width = 0.9 if size >= 32 else 0.5
    for y in range(size):
        for x in range(size):
            for (ax, ay), (bx, by), colour in segments:
                if near_segment(x, y, ax, ay, bx, by, width):
                    grid[y][x] = colour if grid[y][x] in (" ", "c") else grid[y][x]
            if math.hypot(x - centre, y - centre) <= size * (0.09 if size >= 32 else 0.07):
                grid[y][x] = "w"
    outlined = [row[:] for row in grid]
    for y in range(size):
        for x in range(size):
            if grid[y][x] != " ":
                continue
            neighbours = [grid[j][i] for i, j in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1))
                          if 0 <= i < size and 0 <= j < size]
            if any(n != " " for n in neighbours):
                outlined[y][x] = "."
    return ["".join(row) for row in outlined]


def xpm(name, rows):
    size = len(rows)
    lines = [f"/* XPM */", f"static const char *const {name}[] = {{",
             f'"{size} {size} {len(PALETTE)} 1",']
    lines += [f'"{key} c {value}",' for key, value in PALETTE.items()]
    lines += [f'"{row}",' for row in rows]
    lines[-1] = lines[-1].rstrip(",")
    lines.append("};")
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    out = Path("ui/icons")
    out.mkdir(parents=True, exist_ok=True)
    for size in (32, 16):
        (out / f"zelvax-{size}.xpm").write_text(xpm(f"zelvax_{size}", star(size)))
