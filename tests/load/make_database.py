#!/usr/bin/env python3
"""Writes a word database of COUNT words to PATH as the system writes it:
the header lines, then one line per word, every byte masked with 0xA5.
Words are unique, 6 to 14 bytes. Used by tests/load/big_database.sh and
bench/lone_command.sh.

    python3 tests/load/make_database.py PATH COUNT
"""
import sys

path, count = sys.argv[1], int(sys.argv[2])
mask = bytes(b ^ 0xA5 for b in range(256))
lines = [b"Version = 1.01\nSpam = 40000\nClean = 60000\n"]
for i in range(count):
    s, c = i % 37, (i * 7) % 41 + (1 if i % 37 == 0 else 0)
    p = 0.0001 if s == 0 else (1.0 if c == 0 else s / (s + c))
    lines.append(b"w%dx%s = %d,%d,%.8f,%d\n" % (i, b"q" * (i % 5), s, c, p, 1700000000 + i % 86400))
with open(path, "wb") as out:
    out.write(b"".join(lines).translate(mask))
