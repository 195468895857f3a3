"""Finds the scope in a screenshot (raw RGB from ImageMagick) and checks that
the KI and KU traces stand at levels 0.5 and -0.5 across the trace area."""
import sys

width, height = int(sys.argv[2]), int(sys.argv[3])
data = open(sys.argv[1], "rb").read()

def pixel(x, y):
    i = (y * width + x) * 3
    return tuple(data[i:i + 3])

def px(v):
    return int(v + 0.5)

# The level axis: the column with the most black pixels in the left quarter.
# It runs from level +1 down to its last tick at level -1, crossed by traces
# here and there (short gaps); below it a wide gap comes before the time axis.
def black(x, y):
    return pixel(x, y) == (0, 0, 0)

axis_x = max(range(5, width // 4), key=lambda x: sum(black(x, y) for y in range(height)))

# The axis is the longest stretch of that column with gaps of at most three
# rows; other black pixels in the column (the title bar's icon, a label's
# glyph) form shorter stretches.
def stretches(x):
    start = last = None
    for y in range(height):
        if not black(x, y):
            continue
        if last is None or y - last > 4:
            if start is not None:
                yield start, last
            start = y
        last = y
    if start is not None:
        yield start, last

top, last = max(stretches(axis_x), key=lambda s: s[1] - s[0])
# Level +1 at client row px(0.05 H), level -1 at px(0.75 H).
client_height = round((last - top) / 0.7)
client_top = top - px(0.05 * client_height)
if last - top < height // 3:
    sys.exit("no level axis found")

def row_of(colour):
    counts = {}
    for y in range(height):
        counts[y] = sum(1 for x in range(axis_x, width * 7 // 8) if pixel(x, y) == colour)
    return max(counts, key=counts.get), max(counts.values())

failures = []
for name, colour, level in (("KI", (220, 0, 0), 0.5), ("KU", (0, 0, 220), -0.5)):
    row, length = row_of(colour)
    expected = client_top + px((0.4 - level * 0.35) * client_height)
    print(f"{name}: row {row} (expected {expected}), {length} pixels long")
    if abs(row - expected) > 1 or length < (width * 0.8) * 0.9:
        failures.append(name)
sys.exit(f"traces misplaced: {failures}" if failures else 0)
