#!/usr/bin/python3
"""Prints the one table of scripts/bench: every figure that has a target, beside its target.

  report.py FOLDER    FOLDER holds <name>.json of each Google Benchmark program
                      (--benchmark_out) and startup.json of startup_bench.py
"""

import json
import os
import sys


def load(folder, name):
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        return None
    with open(path) as source:
        try:
            return json.load(source)
        except ValueError:
            return None


def median(benchmarks, prefix, counter):
    """The median aggregate of a repeated benchmark, else the median of its runs."""
    if benchmarks is None:
        return None
    runs = [b for b in benchmarks["benchmarks"] if b["name"].startswith(prefix) and "error_occurred" not in b]
    for run in runs:
        if run.get("aggregate_name") == "median":
            return run.get(counter)
    values = sorted(run[counter] for run in runs if counter in run and run.get("run_type") != "aggregate")
    return values[len(values) // 2] if values else None


def main():
    if len(sys.argv) != 2 or sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return 0 if len(sys.argv) == 2 else 2
    folder = sys.argv[1]
    transfer = load(folder, "transfer_bench.json")
    package = load(folder, "package_bench.json")
    startup = load(folder, "startup.json")

    rows = []

    def row(what, value, target, met, unit=""):
        shown = "n/a" if value is None else f"{value:,.1f}{unit}"
        verdict = "n/a" if value is None else ("met" if met else "NOT MET")
        rows.append((what, shown, target, verdict))

    full = median(transfer, "fullStackTransfer", "round_trips_per_s")
    raw = median(transfer, "rawSocketRoundTrip", "round_trips_per_s")
    row("1 full-stack round trips per s", full, ">= 20,000", full is not None and full >= 20000)
    row("  raw socket round trips per s", raw, "(same run)", True)
    share = None if full is None or not raw else 100 * full / raw
    row("  full stack / raw", share, ">= 25 %", share is not None and share >= 25, " %")

    cpu = median(transfer, "fullStackTransfer", "cpu_us_per_report")
    row("2 updater CPU per data report", cpu, "<= 20 us", cpu is not None and cpu <= 20, " us")
    raw_cpu = median(transfer, "rawSocketRoundTrip", "cpu_us_per_round_trip")
    row("  raw socket CPU per round trip", raw_cpu, "(same run)", True, " us")
    slow = median(transfer, "slowDeviceTransfer", "cpu_ms_per_wall_s")
    row("  CPU while a device answers in 20 ms", slow, "near 0 (<= 20 ms/s)", slow is not None and slow <= 20, " ms/s")

    check = median(package, "wholePackageCheck64MB", "bytes_per_second")
    check = None if check is None else check / 1e9
    row("3 package check, 64 MB", check, ">= 1 GB/s", check is not None and check >= 1, " GB/s")
    read = median(package, "wholePackageReadFromDisk64MB", "bytes_per_second")
    read = None if read is None else read / 1e9
    row("  package read + check from a file", read, "(for reference)", True, " GB/s")

    if startup:
        ratio = startup["startup_ratio"]
        row("4 first frame, updater", startup["updater_first_frame_ms"], "", True, " ms")
        row("  first frame, bare JUCE window", startup["bare_first_frame_ms"], "(same run)", True, " ms")
        if "japanese_first_frame_ms" in startup:
            row("  first frame, updater in Japanese", startup["japanese_first_frame_ms"],
                "(diagnostic)", True, " ms")
        row("  updater / bare window", ratio, "<= 1.2", ratio <= 1.2, "x")
        allowed = startup["bare_vm_hwm_kb"] / 1024 + 1.1 * startup["package_bytes"] / 2**20
        memory = startup["updater_vm_hwm_kb"] / 1024
        row("  peak memory, updater (64 MB package)", memory, f"<= {allowed:,.1f} MB", memory <= allowed, " MB")
        row("  peak memory, bare JUCE window", startup["bare_vm_hwm_kb"] / 1024, "(same run)", True, " MB")
    else:
        row("4 start-up and peak memory", None, "<= 1.2x, <= bare + 1.1x package", False)

    widths = [max(len(r[i]) for r in rows + [("figure", "median", "target", "")]) for i in range(4)]
    print()
    print(f"{'figure':<{widths[0]}}  {'median':>{widths[1]}}  {'target':<{widths[2]}}  verdict")
    print("-" * (sum(widths) + 14))
    for what, value, target, verdict in rows:
        print(f"{what:<{widths[0]}}  {value:>{widths[1]}}  {target:<{widths[2]}}  {verdict if target and not target.startswith('(') else ''}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
