#!/usr/bin/env python3
"""Writes archives and raw deflate streams made by independent encoders (Python's zipfile and
zlib, Info-ZIP zip) into the directory given, with EXPECTED.tsv listing what each must expand
to: "archive<TAB>member<TAB>sha256" for archive members, "stream<TAB>-<TAB>sha256" for raw
deflate streams. Deterministic: the same files on every run."""

import hashlib
import io
import os
import random
import subprocess
import sys
import zipfile
import zlib


def contents(rng):
    words = [b"kavor", b"virus", b"database", b"update", b"daily", b"avc", b"signature",
             b"\xd0\xb1\xd0\xb0\xd0\xb7\xd0\xb0", b"\n", b"  ", b"0x7f", b"engine"]
    text = b" ".join(rng.choice(words) for _ in range(60000))
    noise = bytes(rng.getrandbits(8) for _ in range(70000))
    runs = b"".join(bytes([rng.getrandbits(8)]) * rng.randint(1, 400) for _ in range(600))
    mixed = b"".join(rng.choice([text[i:i + 5000], noise[i:i + 3000], runs[i:i + 2000]])
                     for i in range(0, 60000, 1500))
    return {
        "empty.bin": b"",
        "one.bin": b"x",
        "text.txt": text,
        "noise.bin": noise,
        "runs.bin": runs,
        "mixed.bin": mixed,
        "big.bin": (mixed * 4)[:1_000_000],
    }


def main(out):
    rng = random.Random(20240519)
    files = contents(rng)
    expected = []

    def note(archive, member, data):
        expected.append(f"{archive}\t{member}\t{hashlib.sha256(data).hexdigest()}")

    # zipfile: every deflate level, and stored.
    for level in range(10):
        name = f"py_level{level}.zip"
        with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED,
                             compresslevel=level) as z:
            for member, data in files.items():
                z.writestr("data/" + member, data)
                note(name, "data/" + member, data)
    with zipfile.ZipFile(os.path.join(out, "py_stored.zip"), "w", zipfile.ZIP_STORED) as z:
        for member, data in files.items():
            z.writestr(member, data)
            note("py_stored.zip", member, data)

    # zipfile writing into a pipe-like stream: data descriptors after every member, and UTF-8
    # names (zipfile sets flag bit 11 for them).
    stream = io.BytesIO()

    class Unseekable(io.RawIOBase):
        def writable(self):
            return True

        def write(self, b):
            return stream.write(b)

    with zipfile.ZipFile(Unseekable(), "w", zipfile.ZIP_DEFLATED) as z:
        for member in ("text.txt", "mixed.bin", "empty.bin"):
            z.writestr("потоком/" + member, files[member])
            note("py_stream.zip", "потоком/" + member, files[member])
    with open(os.path.join(out, "py_stream.zip"), "wb") as f:
        f.write(stream.getvalue())

    # Info-ZIP zip from a directory tree: directory entries, nested paths, levels 0, 1 and 9.
    tree = os.path.join(out, "tree")
    os.makedirs(os.path.join(tree, "bases", "deep", "er"))
    os.makedirs(os.path.join(tree, "empty_dir"))
    for member, data in files.items():
        with open(os.path.join(tree, "bases", "deep", "er", member), "wb") as f:
            f.write(data)
    for level in (0, 1, 9):
        name = f"zip_level{level}.zip"
        subprocess.run(["zip", "-q", "-r", f"-{level}", os.path.join(out, name), "bases",
                        "empty_dir"], cwd=tree, check=True)
        for member, data in files.items():
            note(name, "bases/deep/er/" + member, data)

    # Raw deflate streams with every zlib strategy: fixed codes only, Huffman only, run-length.
    strategies = {"default": zlib.Z_DEFAULT_STRATEGY, "filtered": zlib.Z_FILTERED,
                  "huffman": zlib.Z_HUFFMAN_ONLY, "rle": zlib.Z_RLE, "fixed": zlib.Z_FIXED}
    for sname, strategy in strategies.items():
        for level in (1, 6, 9):
            for member in ("text.txt", "noise.bin", "runs.bin", "mixed.bin"):
                c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
                data = files[member]
                # Many small flushes give many short blocks, stored ones among them.
                pieces = [c.compress(data[i:i + 9000]) + c.flush(zlib.Z_FULL_FLUSH)
                          for i in range(0, len(data), 9000)]
                raw = b"".join(pieces) + c.flush()
                name = f"{sname}_{level}_{member}.deflate"
                with open(os.path.join(out, name), "wb") as f:
                    f.write(raw)
                note(name, "-", data)

    with open(os.path.join(out, "EXPECTED.tsv"), "w", encoding="utf-8") as f:
        f.write("\n".join(expected) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
