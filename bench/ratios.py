#!/usr/bin/env python3
"""Runs sorbel_bench and prints how the record container compares with its baselines.

Usage: bench/ratios.py [path/to/sorbel_bench] [--min-time S] [--repetitions N]
                       [--clock cpu|real] [--allocator default|reuse|both]
                       [--stat median|min] [--filter REGEX]

The binary defaults to build/linux/bench/sorbel_bench, which the linux stage
(scripts/test.sh linux) builds.

Each benchmark runs N times (default 3) for at least S seconds (default 0.5)
per run; the median of the runs is used, or with --stat min the fastest run
(on a busy machine other work only ever adds time, so the fastest run is the
closest to the code's own cost). A ratio is ours / baseline: below 1 means
faster than the baseline.

--clock: cpu (the default) compares process CPU time (user + system, page
faults included), which other processes on a shared machine do not inflate;
real compares wall-clock time.

--allocator: "default" runs with glibc's usual settings, under which every
block of 32 MiB or more is a fresh mmap whose pages fault in on first touch, so
each benchmark that hands out a new 64 MiB buffer pays for mapping it.
"reuse" sets GLIBC_TUNABLES so that malloc never uses mmap and never gives
memory back (mmap_max=0, trim_threshold=4 GiB): freed blocks are reused
warm, which leaves the cost of the code itself. "both" (the default) runs
and prints each.
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_BINARY = os.path.join(HERE, "..", "build", "linux", "bench", "sorbel_bench")
REUSE_TUNABLES = "glibc.malloc.mmap_max=0:glibc.malloc.trim_threshold=4294967296"

# (label, ours, baseline, target: the highest acceptable ratio)
RATIOS = [
    ("Package get 64 MiB / memcpy", "BM_PackageGet_64MiB", "BM_Memcpy_64MiB", 1.2),
    ("Package let 64 MiB / memcpy", "BM_PackageLet_64MiB", "BM_Memcpy_64MiB", 1.5),
    ("Package get 64 MiB / new buffer + memcpy", "BM_PackageGet_64MiB", "BM_MemcpyFresh_64MiB", 1.2),
    ("Package let 64 MiB / new buffer + memcpy", "BM_PackageLet_64MiB", "BM_MemcpyFresh_64MiB", 1.5),
    ("Package get 1M records / msgpack pack", "BM_PackageGet_1M", "BM_MsgpackPack_1M", 1.0),
    ("Package let 1M records / msgpack unpack", "BM_PackageLet_1M", "BM_MsgpackUnpack_1M", 1.0),
    ("2M appends / 1M appends (linear: 2.0)", "BM_Append/2000000", "BM_Append/1000000", 2.2),
    ("1M appends + 1M keyed reads / unordered_map", "BM_AppendThenRead_1M", "BM_UnorderedMapAppendThenRead_1M", 2.0),
]

# (label, benchmark, value: "time" in ms or a counter name, scale, unit, target: the highest acceptable value)
ABSOLUTES = [
    ("FindKey of the last of 1M keys", "BM_FindKeyLast_1M", "time", 1e6, "ns", 1000),
    ("Record let at 50,000,000", "BM_ExtendTo_50M", "time", 1, "ms", 2000),
    ("heap per empty record after that let", "BM_ExtendTo_50M", "bytes_per_record", 1, "B", 16),
    ("heap per small record (16-char key, 32 B)", "BM_MemoryPerRecord_1M", "bytes_per_record", 1, "B", None),
    ("key index per small record", "BM_MemoryPerRecord_1M", "index_per_record", 1, "B", 24),
]

TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def run(binary, min_time, repetitions, allocator, benchmark_filter):
    command = [
        binary,
        "--benchmark_format=json",
        f"--benchmark_min_time={min_time}",
        f"--benchmark_repetitions={repetitions}",
    ]
    if benchmark_filter:
        command.append(f"--benchmark_filter={benchmark_filter}")
    env = dict(os.environ)
    prefix = ""
    if allocator == "reuse":
        env["GLIBC_TUNABLES"] = REUSE_TUNABLES
        prefix = f"GLIBC_TUNABLES={REUSE_TUNABLES} "
    print(f"$ {prefix}{' '.join(command)}", flush=True)
    result = subprocess.run(command, check=True, stdout=subprocess.PIPE, env=env)
    return json.loads(result.stdout)


def summarise(report, clock, stat):
    """Median or fastest time in milliseconds of each benchmark by name, its counters
    (from the run whose time was kept), and the errors reported."""
    runs = {}
    counters = {}
    errors = []
    field = "cpu_time" if clock == "cpu" else "real_time"
    for b in report["benchmarks"]:
        if b.get("error_occurred"):
            errors.append(f"{b['name']}: {b.get('error_message', 'error')}")
            continue
        if b.get("run_type") == "aggregate":
            continue
        name = re.sub(r"/(real_time|min_warmup_time:[0-9.]+|iterations:[0-9]+)", "", b.get("run_name", b["name"]))
        runs.setdefault(name, []).append(b[field] * TO_MS[b["time_unit"]])
        for key in ("bytes_per_record", "index_per_record", "with_index"):
            if key in b:
                counters.setdefault(name, {}).setdefault(key, []).append(b[key])
    times = {}
    for name, values in runs.items():
        values.sort()
        times[name] = values[0] if stat == "min" else statistics.median(values)
    for name in counters:
        for key, values in counters[name].items():
            counters[name][key] = statistics.median(values)
    return times, counters, errors


def report(times, counters, errors, clock, stat):
    for e in errors:
        print("error: " + e)
    print(f"{'benchmark':28} {stat + ' ' + clock + ' ms':>16}")
    for name in sorted(times):
        print(f"{name:28} {times[name]:16.3f}")
    print()
    print(f"{'measure':42} {'value':>10} {'target':>9}  verdict")
    for label, name, what, scale, unit, target in ABSOLUTES:
        value = times.get(name) if what == "time" else counters.get(name, {}).get(what)
        limit = "-" if target is None else f"<={target}"
        if value is None:
            print(f"{label:42} {'-':>10} {limit:>9}  not measured")
            continue
        value *= scale
        verdict = "" if target is None else ("met" if value <= target else "MISSED")
        print(f"{label:42} {value:8.1f} {unit:<2}{limit:>9}  {verdict}")
    print()
    print(f"{'ratio (ours / baseline)':42} {'ratio':>6} {'target':>7}  verdict")
    for label, ours, baseline, target in RATIOS:
        if ours not in times or baseline not in times:
            print(f"{label:42} {'-':>6} {target:7.2f}  not measured")
            continue
        ratio = times[ours] / times[baseline]
        verdict = "met" if ratio <= target else "MISSED"
        print(f"{label:42} {ratio:6.2f} {'<=' + format(target, '.2f'):>7}  {verdict}")
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default=DEFAULT_BINARY)
    parser.add_argument("--min-time", default="0.5")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--clock", choices=["cpu", "real"], default="cpu")
    parser.add_argument("--allocator", choices=["default", "reuse", "both"], default="both")
    parser.add_argument("--stat", choices=["median", "min"], default="median")
    parser.add_argument("--filter", default="")
    args = parser.parse_args()

    modes = ["default", "reuse"] if args.allocator == "both" else [args.allocator]
    failed = False
    for mode in modes:
        print(f"== allocator: {mode}")
        result = run(args.binary, args.min_time, args.repetitions, mode, args.filter)
        times, counters, errors = summarise(result, args.clock, args.stat)
        report(times, counters, errors, args.clock, args.stat)
        failed = failed or bool(errors)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
