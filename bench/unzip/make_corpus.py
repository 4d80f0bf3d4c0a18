#!/usr/bin/env python3
"""make_corpus.py OUT [MEGABYTES]: copies a reproducible mix of text and binaries found on a stock
Debian 12 machine into OUT/corpus (half text, half binaries; 50 MB by default), and writes
OUT/corpus.cat, the same bytes concatenated, for the inflate benchmark. Files are taken in
sorted path order, so the same machine gives the same corpus."""

import os
import shutil
import sys

TEXT_ROOTS = ["/usr/lib/python3.11", "/usr/share/perl", "/usr/share/i18n", "/usr/include"]
TEXT_SUFFIXES = (".py", ".pm", ".pl", ".h", ".txt", ".html", ".xml", ".json", ".cfg", "")
BINARY_ROOTS = ["/usr/bin", "/usr/lib/x86_64-linux-gnu"]
LARGEST_FILE = 8 << 20


def candidates(roots, wanted):
    for root in roots:
        for directory, subdirs, files in os.walk(root):
            subdirs.sort()
            subdirs[:] = [d for d in subdirs if d != "__pycache__"]
            for name in sorted(files):
                path = os.path.join(directory, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                size = os.path.getsize(path)
                if 0 < size <= LARGEST_FILE and wanted(name):
                    yield path, size


def is_text(name):
    base, ext = os.path.splitext(name)
    return ext in TEXT_SUFFIXES and not name.endswith((".gz", ".so"))


def take(roots, wanted, budget, target, cat):
    total = 0
    for path, size in candidates(roots, wanted):
        if total >= budget:
            break
        destination = os.path.join(target, path.lstrip("/"))
        os.makedirs(os.path.dirname(destination), exist_ok=True)
        try:
            shutil.copyfile(path, destination)
        except OSError:
            continue
        with open(destination, "rb") as f:
            cat.write(f.read())
        total += size
    return total


def main():
    out = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    half = megabytes << 19
    corpus = os.path.join(out, "corpus")
    os.makedirs(corpus)
    with open(os.path.join(out, "corpus.cat"), "wb") as cat:
        text = take(TEXT_ROOTS, is_text, half, os.path.join(corpus, "text"), cat)
        binaries = take(BINARY_ROOTS, lambda name: True, half, os.path.join(corpus, "bin"), cat)
    files = sum(len(f) for _, _, f in os.walk(corpus))
    print(f"corpus: {files} files, {text / 1e6:.1f} MB text, {binaries / 1e6:.1f} MB binaries")


if __name__ == "__main__":
    main()
