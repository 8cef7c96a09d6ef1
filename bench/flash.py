"""Measures the flash that a web UI takes as the header of tarvel -a -z
holds it (the sum that the run reports), against the sum over its files of
the smaller of the file and its gzip -9 (and its zopfli) compression, and
against the arrays of a peer's header where one is given.

  flash.py TARVEL FOLDER [PEER_HEADER]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile


def compressed(command, path):
    return len(subprocess.run(command + [path], capture_output=True, check=True).stdout)


def main():
    tarvel, folder = os.path.abspath(sys.argv[1]), sys.argv[2]
    peer = sys.argv[3] if len(sys.argv) > 3 else None
    files = raw = gzip9 = zopfli = 0
    for top, dirs, names in os.walk(folder):
        dirs[:] = [d for d in dirs if not d.startswith(".")]
        for name in names:
            if name.startswith(".") or name == "list.txt":
                continue
            path = os.path.join(top, name)
            size = os.path.getsize(path)
            files += 1
            raw += size
            gzip9 += min(size, compressed(["gzip", "-9", "-n", "-c"], path))
            zopfli += min(size, compressed(["zopfli", "-c"], path))
    with tempfile.TemporaryDirectory(prefix="tarvel-flash.") as scratch:
        shutil.copytree(folder, os.path.join(scratch, "ui"))
        report = subprocess.run([tarvel, "-a", "-z"], cwd=os.path.join(scratch, "ui"),
                                capture_output=True, check=False).stdout.decode()
    flash = int(re.search(r"([0-9,]+) in flash", report).group(1).replace(",", ""))
    line = (f"  {files} files, {raw} bytes: tarvel -a -z {flash} in flash; Σ min(file, gzip -9)"
            f" {gzip9}, tarvel/that {flash / gzip9:.3f}; Σ min(file, zopfli) {zopfli},"
            f" tarvel/that {flash / zopfli:.3f}")
    if peer:
        with open(peer, "rb") as f:
            arrays = sum(int(n) for n in re.findall(rb"const uint8_t \w+\[(\d+)\] PROGMEM", f.read()))
        line += f"; peer {arrays}, tarvel/peer {flash / arrays:.3f}"
    print(line)


main()
