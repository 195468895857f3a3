"""Writes a .rec file: magic, a parameter block (TA = TE = 0), and samples in
which KI stays at 1024 (level 0.5) and KU at -1024 (level -0.5)."""
import struct
import sys

samples = bytearray()
for i in range(600):
    values = [0] * 13
    values[6] = -1024  # KU, Id 7
    values[7] = 1024   # KI, Id 8
    samples += b"G\x00" + struct.pack("<H", i % 8000) + b"\x00\x00" + struct.pack("<13h", *values)
with open(sys.argv[1], "wb") as out:
    out.write(b"TAVO" + bytes(64) + samples)
