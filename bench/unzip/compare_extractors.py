#!/usr/bin/env python3
"""compare_extractors.py RUNS ARCHIVE... : extracts each archive RUNS times with kavor-unzip,
Info-ZIP unzip and 7-Zip into a fresh directory, and prints the median wall time and median
peak resident memory of each, with kavor-unzip's ratios to the others. The first run of each
tool is checked: every tool must produce the same files with the same bytes.

The tools alternate run by run, so that all see the same load of a shared machine."""

import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

KAVOR = os.environ.get("KAVOR_UNZIP", "build-bench/src/unzip/kavor-unzip")


def commands(archive, target):
    return {
        "kavor-unzip": [KAVOR, archive, target],
        "unzip": ["unzip", "-o", "-qq", archive, "-d", target],
        "7z": ["7z", "x", "-y", "-bso0", "-bsp0", "-o" + target, archive],
    }


def run(command, work):
    """Wall time in seconds and peak resident memory in MB of one run. GNU time measures the
    memory: a child forked from this interpreter would count the interpreter's pages too."""
    report = os.path.join(work, "time.txt")
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command,
                            stdout=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"failed: {' '.join(command)}")
    with open(report) as f:
        return elapsed, int(f.read().split()[-1]) / 1024


def same_tree(a, b):
    comparison = filecmp.dircmp(a, b)
    if comparison.left_only or comparison.right_only or comparison.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, comparison.common_files, shallow=False)
    return not mismatch and not errors and all(
        same_tree(os.path.join(a, d), os.path.join(b, d)) for d in comparison.common_dirs)


def main():
    runs = int(sys.argv[1])
    work = tempfile.mkdtemp(prefix="kavor-bench-")
    try:
        for archive in sys.argv[2:]:
            times = {}
            memory = {}
            for k in range(runs):
                for tool in ("kavor-unzip", "unzip", "7z"):
                    target = os.path.join(work, tool)
                    shutil.rmtree(target, ignore_errors=True)
                    os.makedirs(target)
                    # Start each run without the previous runs' writes still in flight.
                    os.sync()
                    elapsed, peak = run(commands(archive, target)[tool], work)
                    times.setdefault(tool, []).append(elapsed)
                    memory.setdefault(tool, []).append(peak)
                if k == 0:
                    for other in ("unzip", "7z"):
                        if not same_tree(os.path.join(work, "kavor-unzip"),
                                         os.path.join(work, other)):
                            sys.exit(f"{archive}: kavor-unzip and {other} extract different files")
            print(f"\n{os.path.basename(archive)} ({os.path.getsize(archive) / 1e6:.1f} MB), "
                  f"median of {runs}")
            print(f"  {'tool':12} {'wall time':>10} {'peak RSS':>10}")
            for tool in times:
                print(f"  {tool:12} {statistics.median(times[tool]):9.3f}s "
                      f"{statistics.median(memory[tool]):7.1f} MB")
            for other in ("unzip", "7z"):
                t = statistics.median(times["kavor-unzip"]) / statistics.median(times[other])
                m = statistics.median(memory["kavor-unzip"]) / statistics.median(memory[other])
                print(f"  kavor-unzip / {other}: time {t:.2f}x, peak memory {m:.2f}x")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
