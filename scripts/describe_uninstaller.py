#!/usr/bin/env python3
"""Gives the uninstaller its own description: NSIS writes the setup's
version resource into both programs, so "installer" in the uninstaller's
FileDescription becomes "uninstall", a word of the same length, in place.
The program checks a CRC-32 of itself, stored in its last four bytes; a
CRC is linear, so the stored value is corrected by the CRC of the change
followed by the bytes up to the stored value, whatever the checked range's
start.

usage: describe_uninstaller.py UNINSTALLER.exe
"""
import struct
import sys
import zlib


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    path = sys.argv[1]
    with open(path, "rb") as handle:
        data = bytearray(handle.read())
    key = "FileDescription".encode("utf-16-le") + b"\0\0"
    at = data.find(key)
    old, new = " installer (".encode("utf-16-le"), " uninstall (".encode("utf-16-le")
    word = data.find(old, at, at + 200) if at >= 0 else -1
    if word < 0:
        sys.exit(f"describe_uninstaller.py: no FileDescription with ' installer (' in {path}")
    change = bytes(a ^ b for a, b in zip(old, new)) + bytes(len(data) - 4 - word - len(new))
    stored = struct.unpack("<I", data[-4:])[0]
    data[-4:] = struct.pack("<I", stored ^ zlib.crc32(change) ^ zlib.crc32(bytes(len(change))))
    data[word:word + len(new)] = new
    with open(path, "wb") as handle:
        handle.write(data)


if __name__ == "__main__":
    main()
