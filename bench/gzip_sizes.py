"""Sums the sizes of the gzip twins in a header made by tarvel -z, and of
what gzip -9 makes of the same texts (each twin inflated), and prints both.

  gzip_sizes.py HEADER
"""

import re
import subprocess
import sys
import zlib

TWIN = re.compile(rb'const unsigned char (\w+)_gz\[\] PROGMEM =\r\n((?:".*"\r\n)*".*");\r\n')
ESCAPE = re.compile(rb'\\([0-7]{3})')


def literal(lines):
    """The bytes of a string literal of printable characters and three-digit
    octal escapes, written on several lines."""
    body = b"".join(line[1:-1] for line in lines.split(b"\r\n"))
    return ESCAPE.sub(lambda m: bytes([int(m.group(1), 8)]), body)


def main():
    with open(sys.argv[1], "rb") as f:
        header = f.read()
    pages = twins = gzip9 = texts = 0
    for match in TWIN.finditer(header):
        twin = literal(match.group(2))
        text = zlib.decompress(twin, 16 + zlib.MAX_WBITS)
        gzipped = subprocess.run(["gzip", "-9", "-n"], input=text, capture_output=True,
                                 check=True).stdout
        pages += 1
        texts += len(text)
        twins += len(twin)
        gzip9 += len(gzipped)
    print(f"  {pages} pages, {texts} bytes of text: twins {twins} bytes, gzip -9 {gzip9} bytes,"
          f" twins/gzip -9 {twins / gzip9:.3f} (goal at most 0.97)")


main()
