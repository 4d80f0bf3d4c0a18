#!/usr/bin/env python3
"""Cuts the compressed data of every member out of ZIP archives, as seeds for the decoder targets.

Usage: extract_streams.py OUTPUT_DIR ARCHIVE...
Writes OUTPUT_DIR/inflate/, explode/ and unshrink/ (created as needed). Explode seeds carry the
target's four-byte header: a selector for the member's flag bits (8K dictionary, three trees),
then its uncompressed size (three bytes, little-endian, capped).
"""
import os
import struct
import sys
import zipfile

TARGETS = {8: "inflate", 6: "explode", 1: "unshrink"}


def member_data(raw, info):
    offset = info.header_offset
    if raw[offset:offset + 4] != b"PK\x03\x04":
        return None
    name_length, extra_length = struct.unpack_from("<HH", raw, offset + 26)
    start = offset + 30 + name_length + extra_length
    return raw[start:start + info.compress_size]


def main():
    out = sys.argv[1]
    for path in sys.argv[2:]:
        try:
            with open(path, "rb") as f:
                raw = f.read()
            infos = zipfile.ZipFile(path).infolist()
        except (OSError, zipfile.BadZipFile, NotImplementedError):
            continue
        stem = os.path.splitext(os.path.basename(path))[0]
        for index, info in enumerate(infos):
            target = TARGETS.get(info.compress_type)
            data = member_data(raw, info)
            if target is None or not data:
                continue
            if target == "explode":
                selector = (0x01 if info.flag_bits & 2 else 0) | (0x02 if info.flag_bits & 4 else 0)
                data = bytes([selector]) + min(info.file_size, 0xFFFFFF).to_bytes(3, "little") + data
            os.makedirs(os.path.join(out, target), exist_ok=True)
            with open(os.path.join(out, target, f"{stem}-{index}"), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
