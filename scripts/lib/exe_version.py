#!/usr/bin/env python3
"""Prints the version resource of a Windows program as Explorer's file properties read it, one
"Name=value" a line: the fixed version numbers (FileVersionNumbers, ProductVersionNumbers) and
every string of its StringFileInfo (FileVersion, ProductName, FileDescription, ...)."""
import struct
import sys

RT_VERSION = 16


def resources(data):
    """The resource section's bytes, and the address they are loaded at."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit("not a Windows program")
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from(
        "<H", data, pe + 20)[0]
    optional = pe + 24
    pe32 = struct.unpack_from("<H", data, optional)[0] == 0x10B
    rva = struct.unpack_from("<I", data, optional + (96 if pe32 else 112) + 2 * 8)[0]
    for i in range(sections):
        virtual_size, address, raw_size, raw_at = struct.unpack_from(
            "<IIII", data, optional + optional_size + 40 * i + 8)
        if address <= rva < address + max(virtual_size, raw_size):
            return data[raw_at + rva - address:raw_at + raw_size], rva
    sys.exit("no resources")


def first_entry(section, directory, wanted=None):
    named, numbered = struct.unpack_from("<HH", section, directory + 12)
    for i in range(named + numbered):
        name, target = struct.unpack_from("<II", section, directory + 16 + 8 * i)
        if wanted is None or name == wanted:
            return target & 0x7FFFFFFF
    sys.exit("no version resource")


def blocks(data, begin, end):
    """The blocks between begin and end: key, value type, value begin, value length, children."""
    at = begin
    while at + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        if length == 0:
            break
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if kind == 1 else value_length
        yield key, kind, value, value_bytes, ((value + value_bytes + 3) & ~3, at + length)
        at = (at + length + 3) & ~3


def main():
    data = open(sys.argv[1], "rb").read()
    section, base = resources(data)
    directory = first_entry(section, 0, RT_VERSION)
    directory = first_entry(section, directory)
    entry = first_entry(section, directory)
    rva, size = struct.unpack_from("<II", section, entry)
    info = section[rva - base:rva - base + size]
    for key, _, value, _, children in blocks(info, 0, len(info)):
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from(
            "<IIIIII", info, value)
        if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
            sys.exit("not a version resource")
        for name, ms, ls in (("File", file_ms, file_ls), ("Product", product_ms, product_ls)):
            print(f"{name}VersionNumbers={ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
        for block, _, _, _, tables in blocks(info, *children):
            if block != "StringFileInfo":
                continue
            for _, _, _, _, strings in blocks(info, *tables):
                for name, _, at, length, _ in blocks(info, *strings):
                    print(f"{name}={info[at:at + length].decode('utf-16-le').rstrip(chr(0))}")


main()
