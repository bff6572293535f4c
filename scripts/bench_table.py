#!/usr/bin/env python3
"""Turns the JSON of the benchmark programs into scripts/bench.sh's table.

Usage: bench_table.py table|json RESULT.json...

Each row sets a figure against its floor from the same run (medians of the
repetitions): a time as a multiple of the floor's time, a rate as a share of
the floor's rate.
"""
import json
import re
import sys

# figure, benchmark, floor, floor's benchmark, goal ("max" ratio or "min"
# share); a floor of None shows the figure alone.
ROWS = [
    ("far-function call 100 B, no log folder", "BM_FarFunctionUnlogged/100",
     "straight write 100 B", "BM_SimWriteStraight/100", ("max", 25)),
    ("far-function call 2009 B, no log folder", "BM_FarFunctionUnlogged/2009",
     "straight write 2009 B", "BM_SimWriteStraight/2009", ("max", 25)),
    ("far-function call 100 B, log folder (5 lines)",
     "BM_FarFunctionLogged/100", "log line with flush", "BM_LogLineFlush",
     None),
    ("far-function call 2009 B, log folder (5 lines)",
     "BM_FarFunctionLogged/2009", "log line with flush", "BM_LogLineFlush",
     None),
    ("bulk send 1 MiB, no log folder", "BM_BulkSendUnlogged/1048576",
     "straight writes of 2010 B", "BM_SimWriteChunks/1048576", None),
    ("bulk send 10 MiB - 1, no log folder", "BM_BulkSendUnlogged/10485759",
     "straight writes of 2010 B", "BM_SimWriteChunks/10485759", None),
    ("bulk send 1 MiB, log folder", "BM_BulkSendLogged/1048576",
     "straight writes of 2010 B", "BM_SimWriteChunks/1048576", None),
    ("straight writes of 2010 B, 1 MiB", "BM_SimWriteChunks/1048576",
     "memcpy 1 MiB", "BM_Memcpy/1048576", None),
    ("receive 64 KiB packages, no log folder",
     "BM_Receive64KiBPackages/0/real_time", "memcpy",
     "BM_Memcpy64KiBPackages/real_time", ("min", 0.45)),
    ("receive 64 KiB packages, log folder",
     "BM_Receive64KiBPackages/1/real_time", "memcpy",
     "BM_Memcpy64KiBPackages/real_time", None),
    ("receive 64 KiB packages, one round to an idle reader",
     "BM_Receive64KiBRoundFromIdle/real_time", "memcpy",
     "BM_Memcpy64KiBPackages/real_time", None),
    ("simulator alone, client and reader on two threads",
     "BM_SimulatorTwoThreads64KiBPackages/real_time", "memcpy",
     "BM_Memcpy64KiBPackages/real_time", None),
    ("simulator queue and read alone, 64 KiB packages",
     "BM_SimulatorQueueAndRead64KiBPackages/real_time", "memcpy",
     "BM_Memcpy64KiBPackages/real_time", None),
    ("burst of 10,000 x 100 B, no log folder",
     "BM_Burst10000Packages/0/real_time", None, None, None),
    ("burst of 10,000 x 100 B, log folder",
     "BM_Burst10000Packages/1/real_time", None, None, None),
    ("shift buffer built and dropped", "BM_ShiftBufferBuildAndDrop",
     "new + memset + delete of 10 MiB", "BM_NewMemsetDelete", None),
    ("shift buffer appends of 2044 B", "BM_ShiftBufferAppendPieces",
     "memcpy of the same pieces", "BM_MemcpyPieces", None),
]

TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load(paths):
    medians, errors = {}, {}
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        if "idle_bench" in data:
            medians["idle_bench"] = data["idle_bench"]
            continue
        for b in data["benchmarks"]:
            # A repetition count set in the program shows in the name.
            name = re.sub(r"/repeats:\d+", "",
                          b.get("run_name", b["name"]))
            if b.get("error_occurred"):
                errors[name] = b.get("error_message", "error")
            if b.get("aggregate_name", "median") == "median":
                medians[name] = b
    return medians, errors


def figure(b):
    """(value, unit, is_rate) of one median."""
    if "bytes_per_second" in b:
        return b["bytes_per_second"] / 1e9, "GB/s", True
    return b["real_time"] * TO_NS[b["time_unit"]], "ns", False


def show(value, unit):
    if unit == "ns" and value >= 1e6:
        return "%.2f ms" % (value / 1e6)
    if unit == "ns" and value >= 1e3:
        return "%.2f us" % (value / 1e3)
    if unit == "ns":
        return "%.0f ns" % value
    return "%.2f %s" % (value, unit)


# The reader's pace (bench_idle): which paces, under which names.
PACES = [("cadence, 1 ms tick", "cadence_1ms_tick"),
         ("cadence, 15.6 ms tick", "cadence_15_6ms_tick"),
         ("readWaitMs=50", "wait50")]


def idle_rows(idle):
    """The rows of bench_idle's figures, each with its goal."""
    out = []

    def row(name, value, unit, floor_name=None, floor=None, goal=None):
        r = {"figure": name, "benchmark": "bench_idle", "value": value,
             "unit": unit}
        if floor is not None:
            r.update(floor=floor_name, floor_value=floor,
                     ratio=value / floor if floor else float("inf"))
        if goal is not None:
            r["goal"], r["met"] = goal
        if not idle.get("ok", False):
            r["error"] = "a child of bench_idle failed"
        out.append(r)

    cadence_tick = idle["cadence_15_6ms_tick"]["first_package_median_ns"]
    for label, key in PACES:
        pace = idle[key]
        median = pace["first_package_median_ns"]
        goal = None
        if key == "wait50":
            goal = ("at most 0.5 ms, cadence at 15.6 ms several ms",
                    median <= 0.5e6 and cadence_tick >= 2e6)
        row("first package after idle, median, " + label, median, "ns",
            goal=goal)
        row("first package after idle, p99, " + label,
            pace["first_package_p99_ns"], "ns")
    for label, key in PACES:
        close = idle[key]["idle_close_median_ns"]
        goal = (("at most 60 ms", close <= 60e6) if key == "wait50"
                else None)
        row("close of an idle session, " + label, close, "ns", goal=goal)
    reads = idle["ignored_timeout_reads_per_ms"]
    row("reads per ms, readWaitMs=50, platform ignores the time-out", reads,
        "reads/ms", goal=("about 1 at most", reads <= 1.2))
    sessions = idle["sessions"]
    cadence_cpu = idle["idle_cadence_1ms_tick"]["cpu_share"]
    for label, key in (PACES[0], PACES[2]):
        figures = idle["idle_" + key]
        cpu = figures["cpu_share"] * 100
        if key == "wait50":
            row("%d idle sessions, CPU per wall second, %s" % (sessions,
                                                              label),
                cpu, "% core", "cadence", cadence_cpu * 100,
                ("at most 1/10 of the cadence's",
                 figures["cpu_share"] <= cadence_cpu / 10))
        else:
            row("%d idle sessions, CPU per wall second, %s" % (sessions,
                                                              label),
                cpu, "% core")
        row("resident memory per idle session, " + label,
            figures["rss_mib_per_session"], "MiB")
        row("threads per idle session, " + label,
            figures["threads_per_session"], "threads")
    return out


def rows(medians, errors):
    out = []
    idle = medians.pop("idle_bench", None)
    for name, bench, floor_name, floor_bench, goal in ROWS:
        row = {"figure": name, "benchmark": bench}
        if bench in errors:
            row["error"] = errors[bench]
        if bench not in medians:
            row["error"] = row.get("error", "not measured")
            out.append(row)
            continue
        value, unit, is_rate = figure(medians[bench])
        row.update(value=value, unit=unit)
        if bench.startswith("BM_Burst") and "error" not in row:
            row["note"] = "every package whole and in order"
        if floor_bench in medians:
            floor, _, _ = figure(medians[floor_bench])
            row.update(floor=floor_name, floor_benchmark=floor_bench,
                       floor_value=floor)
            row["ratio"] = value / floor
            if goal:
                kind, limit = goal
                row["goal"] = ("at most %gx" % limit if kind == "max"
                               else "at least %d %%" % (limit * 100))
                row["met"] = (row["ratio"] <= limit if kind == "max"
                              else row["ratio"] >= limit)
        out.append(row)
    if idle is not None:
        out.extend(idle_rows(idle))
    return out


def table(out):
    head = ("figure", "median", "floor (same run)", "floor", "ratio", "goal")
    lines = []
    for r in out:
        if "value" not in r:
            lines.append((r["figure"], "-", "", "", "", r["error"]))
            continue
        value = show(r["value"], r["unit"])
        if "floor_value" in r:
            floor = show(r["floor_value"], r["unit"])
            ratio = ("%.0f %%" % (100 * r["ratio"])
                     if r["unit"] in ("GB/s", "% core")
                     else "%.1fx" % r["ratio"])
        else:
            floor, ratio = "", ""
        goal = r.get("goal", r.get("note", ""))
        if "met" in r:
            goal += ": " + ("met" if r["met"] else "NOT met")
        if "error" in r:
            goal = "ERROR: " + r["error"]
        lines.append((r["figure"], value, r.get("floor", ""), floor, ratio,
                      goal))
    widths = [max(len(str(l[i])) for l in [head] + lines) for i in range(6)]
    fmt = "| " + " | ".join("%%-%ds" % w for w in widths) + " |"
    print(fmt % head)
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for l in lines:
        print(fmt % l)


def main():
    mode, paths = sys.argv[1], sys.argv[2:]
    out = rows(*load(paths))
    if mode == "json":
        json.dump({"rows": out}, sys.stdout, indent=2)
        print()
    else:
        table(out)
    return 1 if any("error" in r or r.get("met") is False for r in out) else 0


if __name__ == "__main__":
    sys.exit(main())
