#!/usr/bin/env python3
"""make_crafted_archives.py OUT: writes the crafted archives of bench/unzip/bounds.sh into OUT,
one for each way an archive can make an extractor work beyond its size and the sizes it
declares, and honest ones for comparison. Prints each archive's name and what it holds."""

import os
import struct
import sys
import zlib

MB = 1 << 20


def local_header(name, method, flags, crc, csize, usize):
    return struct.pack("<IHHHIIIIHH", 0x04034B50, 20, flags, method, 0x52645283, crc, csize,
                       usize, len(name), 0) + name


def central_entry(name, method, flags, crc, csize, usize, offset):
    return struct.pack("<IBBHHHIIIIHHHHHII", 0x02014B50, 20, 0, 20, flags, method, 0x52645283,
                       crc, csize, usize, len(name), 0, 0, 0, 0, 0, offset) + name


def end_record(count, size, offset, comment=b""):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, size, offset,
                       len(comment)) + comment


def archive(members, comment=b""):
    """members: (name, method, flags, crc, csize, usize, data, local csize, local usize)."""
    out, directory = b"", b""
    for name, method, flags, crc, csize, usize, data, lcsize, lusize in members:
        directory += central_entry(name, method, flags, crc, csize, usize, len(out))
        out += local_header(name, method, flags, crc, lcsize, lusize) + data
    return out + directory + end_record(len(members), len(directory), len(out), comment)


def zeros_deflated(size):
    """Raw deflate data of size zero bytes and their CRC-32."""
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunk = bytes(MB)
    data, crc, left = [], 0, size
    while left > 0:
        piece = chunk[:min(left, MB)]
        data.append(packer.compress(piece))
        crc = zlib.crc32(piece, crc)
        left -= len(piece)
    data.append(packer.flush())
    return b"".join(data), crc


def shrunk_codes(text):
    """Shrunk data of 9-bit literal codes."""
    bits, count = 0, 0
    for c in text:
        bits |= c << count
        count += 9
    return bits.to_bytes((count + 7) // 8, "little")


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    made = []

    def write(name, content, what):
        with open(os.path.join(out, name), "wb") as f:
            f.write(content)
        made.append((name, what))

    shrunk = shrunk_codes(b"abcd")
    write("local-header-2gib.zip",
          archive([(b"base.vdb", 1, 0, zlib.crc32(b"a" * 400), 5, 400, shrunk, 0x80000105, 400)],
                  b"c" * 258),
          "the issue's archive: 5 shrunk bytes, 400 declared, the local header says 0x80000105")
    write("shrunk-beyond-the-archive.zip",
          archive([(b"base.vdb", 1, 0, 0, 0x7FFFFFF0, 0x7FFFFFF0, shrunk, 0x7FFFFFF0,
                    0x7FFFFFF0)]),
          "5 shrunk bytes, both headers declaring 2 GiB of compressed data")
    write("stored-beyond-the-archive.zip",
          archive([(b"base.vdb", 0, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF, b"abcd", 0x7FFFFFFF,
                    0x7FFFFFFF)]),
          "4 stored bytes, both headers declaring 2 GiB")

    for size in (16 * MB, 256 * MB, 1024 * MB):
        data, _ = zeros_deflated(size)
        crc = zlib.crc32(bytes(1000))
        write("beyond-declared-%dm.zip" % (size // MB),
              archive([(b"base.vdb", 8, 0, crc, len(data), 1000, data, len(data), 1000)]),
              "deflate data of %d MB of zeros, 1000 bytes declared" % (size // MB))
    data, _ = zeros_deflated(256 * MB)
    write("beyond-directory-size-bit3-256m.zip",
          archive([(b"base.vdb", 8, 8, zlib.crc32(bytes(1000)), len(data), 1000, data, 0, 0)]),
          "the same for 256 MB, sizes after the data (flag bit 3), 1000 bytes in the directory")

    data, crc = zeros_deflated(MB)
    record = local_header(b"a.vdb", 8, 0, crc, len(data), MB) + data
    for count in (10, 100, 1000):
        directory = b"".join(central_entry(b"m%04d.vdb" % k, 8, 0, crc, len(data), MB, 0)
                             for k in range(count))
        write("overlapping-%d.zip" % count,
              record + directory + end_record(count, len(directory), len(record)),
              "%d directory entries sharing one deflated 1 MB member" % count)

    for size in (16 * MB, 64 * MB):
        data, crc = zeros_deflated(size)
        write("honest-%dm.zip" % (size // MB),
              archive([(b"base.vdb", 8, 0, crc, len(data), size, data, len(data), size)]),
              "deflate data of %d MB of zeros, declared as such" % (size // MB))

    for name, what in made:
        print("%s\t%s" % (name, what))


if __name__ == "__main__":
    main()
