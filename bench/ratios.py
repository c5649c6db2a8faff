#!/usr/bin/env python3
"""Runs sorbel_bench and prints how the record container compares with its baselines.

Usage: bench/ratios.py [path/to/sorbel_bench] [--min-time SECONDS] [--repetitions N]

Each benchmark runs N times (default 3) for at least the given time (default
0.5 s) per run, and the median real time of each is used. A ratio is
ours / baseline: below 1 means faster than the baseline.
"""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_BINARY = os.path.join(HERE, "..", "build", "h2-bench", "bench", "sorbel_bench")

# (label, ours, baseline, target: the highest acceptable ratio)
RATIOS = [
    ("Package get 64 MiB / memcpy (warm target)", "BM_PackageGet_64MiB", "BM_Memcpy_64MiB", 1.2),
    ("Package let 64 MiB / memcpy (warm target)", "BM_PackageLet_64MiB", "BM_Memcpy_64MiB", 1.5),
    ("Package get 64 MiB / alloc + memcpy", "BM_PackageGet_64MiB", "BM_MemcpyFresh_64MiB", 1.2),
    ("Package let 64 MiB / alloc + memcpy", "BM_PackageLet_64MiB", "BM_MemcpyFresh_64MiB", 1.5),
    ("Package get 1M records / msgpack pack", "BM_PackageGet_1M", "BM_MsgpackPack_1M", 1.0),
    ("Package let 1M records / msgpack unpack", "BM_PackageLet_1M", "BM_MsgpackUnpack_1M", 1.0),
    ("2M appends / 1M appends (linear: 2.0)", "BM_Append/2000000", "BM_Append/1000000", 2.2),
]

TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def run(binary, min_time, repetitions):
    command = [
        binary,
        "--benchmark_format=json",
        f"--benchmark_min_time={min_time}",
        f"--benchmark_repetitions={repetitions}",
        "--benchmark_report_aggregates_only=true",
    ]
    print("$ " + " ".join(command), file=sys.stderr)
    result = subprocess.run(command, check=True, stdout=subprocess.PIPE)
    return json.loads(result.stdout)


def medians(report):
    """Median real time in milliseconds of each benchmark, by name."""
    times = {}
    errors = []
    for b in report["benchmarks"]:
        if b.get("error_occurred"):
            errors.append(f"{b['name']}: {b.get('error_message', 'error')}")
            continue
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        times[name] = b["real_time"] * TO_MS[b["time_unit"]]
    return times, errors


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default=DEFAULT_BINARY)
    parser.add_argument("--min-time", default="0.5")
    parser.add_argument("--repetitions", type=int, default=3)
    args = parser.parse_args()

    times, errors = medians(run(args.binary, args.min_time, args.repetitions))
    for e in errors:
        print("error: " + e)

    print(f"{'benchmark':34} {'median ms':>10}")
    for name in sorted(times):
        print(f"{name:34} {times[name]:10.3f}")
    print()
    print(f"{'ratio (ours / baseline)':44} {'ratio':>6} {'target':>7}  verdict")
    missed = 0
    for label, ours, baseline, target in RATIOS:
        if ours not in times or baseline not in times:
            print(f"{label:44} {'-':>6} {target:7.2f}  not measured")
            missed += 1
            continue
        ratio = times[ours] / times[baseline]
        ok = ratio <= target
        missed += not ok
        print(f"{label:44} {ratio:6.2f} {'<=' + format(target, '.2f'):>7}  {'met' if ok else 'MISSED'}")
    return 1 if missed or errors else 0


if __name__ == "__main__":
    sys.exit(main())
