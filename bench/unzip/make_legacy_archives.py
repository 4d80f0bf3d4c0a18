#!/usr/bin/env python3
"""make_legacy_archives.py FIXTURES OUT IMPLODED_COPIES SHRUNK_COPIES: builds OUT/imploded.zip and
OUT/shrunk.zip from the imploded (method 6) and shrunk (method 1) members of the fixture
archives, each member repeated the given number of times under the names NNNN/NAME. The data are
copied byte for byte from the original PKZIP-era streams, so the archives are as real as their
members; only the names differ (non-ASCII names become ASCII, so that every extractor writes the
same file names and the outputs can be compared)."""

import os
import struct
import sys


def members(path):
    data = open(path, "rb").read()
    end = data.rfind(b"PK\x05\x06")
    if not data.startswith(b"PK\x03\x04") or end < 0:
        return
    count, _, offset = struct.unpack_from("<HII", data, end + 10)
    for _ in range(count):
        fields = struct.unpack_from("<4s6H3I5H2I", data, offset)
        method, crc, csize, usize = fields[4], fields[7], fields[8], fields[9]
        nlen, xlen, clen, local = fields[10], fields[11], fields[12], fields[16]
        name = data[offset + 46:offset + 46 + nlen]
        offset += 46 + nlen + xlen + clen
        lnlen, lxlen = struct.unpack_from("<HH", data, local + 26)
        start = local + 30 + lnlen + lxlen
        flags = struct.unpack_from("<H", data, local + 6)[0]
        yield method, flags, crc, csize, usize, name, data[start:start + csize]


def ascii_name(name, index):
    name = name.replace(b"\\", b"/")
    return name if name.isascii() else b"member%d.txt" % index


def write(path, entries):
    out = bytearray()
    directory = bytearray()
    for method, flags, crc, csize, usize, name, payload in entries:
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, 0, 0x5264, crc, csize,
                           usize, len(name), 0) + name + payload
        directory += struct.pack("<IBBHHHHHIIIHHHHHII", 0x02014B50, 20, 0, 20, flags, method, 0,
                                 0x5264, crc, csize, usize, len(name), 0, 0, 0, 0, 0x20,
                                 offset) + name
    start = len(out)
    out += directory
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(directory),
                       start, 0)
    with open(path, "wb") as f:
        f.write(out)
    return sum(e[4] for e in entries)


def main():
    fixtures, out = sys.argv[1], sys.argv[2]
    copies = {6: int(sys.argv[3]), 1: int(sys.argv[4])}
    found = {1: [], 6: []}
    for name in sorted(os.listdir(fixtures)):
        if name.endswith(".zip") and not name.startswith("bad_"):
            for entry in members(os.path.join(fixtures, name)):
                if entry[0] in found and not entry[1] & 0x0008:
                    found[entry[0]].append(entry)
    for method, label in ((6, "imploded"), (1, "shrunk")):
        entries = [e[:5] + (b"%04d/" % k + ascii_name(e[5], i), e[6])
                   for k in range(copies[method]) for i, e in enumerate(found[method])]
        size = write(os.path.join(out, label + ".zip"), entries)
        print(f"{label}.zip: {len(entries)} members, {size / 1e6:.1f} MB expanded")


if __name__ == "__main__":
    main()
