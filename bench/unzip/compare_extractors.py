#!/usr/bin/env python3
"""compare_extractors.py RUNS ARCHIVE... : extracts each archive RUNS times with kavor-unzip,
Info-ZIP unzip and 7-Zip into a fresh directory, and prints the median wall time, CPU time
(user + system) and peak resident memory of each, with kavor-unzip's ratios to the others. The
first run of each tool is checked: every tool must produce the same files with the same bytes.

The tools take turns run by run, in a rotating order, so that all see the same load of a shared
machine and none always runs right after another's files were deleted."""

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
    """Wall time and CPU time in seconds and peak resident memory in MB of one run. GNU time
    measures CPU and memory: a child forked from this interpreter would count the interpreter's
    pages too."""
    report = os.path.join(work, "time.txt")
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", report] + command,
                            stdout=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"failed: {' '.join(command)}")
    with open(report) as f:
        user, system, peak = f.read().split()[-3:]
    return elapsed, float(user) + float(system), int(peak) / 1024


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
            cpu = {}
            memory = {}
            tools = ["kavor-unzip", "unzip", "7z"]
            for k in range(runs):
                for tool in tools[k % 3:] + tools[:k % 3]:
                    target = os.path.join(work, tool)
                    shutil.rmtree(target, ignore_errors=True)
                    os.makedirs(target)
                    # Start each run without the previous runs' writes still in flight.
                    os.sync()
                    elapsed, seconds, peak = run(commands(archive, target)[tool], work)
                    times.setdefault(tool, []).append(elapsed)
                    cpu.setdefault(tool, []).append(seconds)
                    memory.setdefault(tool, []).append(peak)
                if k == 0:
                    for other in ("unzip", "7z"):
                        if not same_tree(os.path.join(work, "kavor-unzip"),
                                         os.path.join(work, other)):
                            sys.exit(f"{archive}: kavor-unzip and {other} extract different files")
            print(f"\n{os.path.basename(archive)} ({os.path.getsize(archive) / 1e6:.1f} MB), "
                  f"median of {runs}")
            print(f"  {'tool':12} {'wall time':>10} {'CPU time':>10} {'peak RSS':>10}")
            for tool in tools:
                print(f"  {tool:12} {statistics.median(times[tool]):9.3f}s "
                      f"{statistics.median(cpu[tool]):9.3f}s "
                      f"{statistics.median(memory[tool]):7.1f} MB")
            def ratio(values, other):
                # GNU time counts CPU time in hundredths: tiny archives may show none.
                below = statistics.median(values[other])
                return f"{statistics.median(values['kavor-unzip']) / below:.2f}x" if below else "n/a"

            for other in ("unzip", "7z"):
                print(f"  kavor-unzip / {other}: wall time {ratio(times, other)}, "
                      f"CPU time {ratio(cpu, other)}, peak memory {ratio(memory, other)}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
