#!/usr/bin/env python3
"""Prints the files on a player folder and the tracks its iTunesSD database lists."""
import os
import sys


def decode_database(data):
    if len(data) < 18:
        return None, "shorter than a header"
    count = int.from_bytes(data[0:3], "big")
    names = []
    for at in range(18, len(data) - 557, 558):
        field = data[at + 33:at + 555]
        units = [int.from_bytes(field[i:i + 2], "little") for i in range(0, 522, 2)]
        if 0 in units:
            units = units[:units.index(0)]
        names.append(b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le", "replace"))
    return count, names


def main(root):
    print("Files on the player:")
    for folder, dirs, files in sorted(os.walk(root)):
        dirs.sort()
        for name in sorted(files):
            path = os.path.relpath(os.path.join(folder, name), root)
            print("  " + path.replace(os.sep, "\\"))
    db = os.path.join(root, "iPod_Control", "iTunes", "iTunesSD")
    with open(db, "rb") as f:
        data = f.read()
    count, names = decode_database(data)
    if count is None:
        print("iTunesSD: " + names)
        return 1
    print(f"iTunesSD: {len(data)} bytes, {count} tracks:")
    for name in names:
        print("  " + name)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
