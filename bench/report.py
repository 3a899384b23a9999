#!/usr/bin/env python3
"""Turns the measurements of bench/run.sh into one Markdown table and the
verdicts on the targets.

    report.py --base BASE_CASE_DIR [--load-before X] [--load-after Y] [--wine V] [--cpu C] CASE_DIR...

A case folder holds times.json (hyperfine), memory.txt ("<program> <peak
working set bytes> <exit code>" lines), stages.txt ("<stage> <seconds>"
lines), the setup file and the MSI with its cabinet. The base folder holds a
setup with an empty cabinet; its memory.txt gives the launcher's peak
working set when it holds next to nothing, which is Wine's and the program's
own share.
"""
import argparse
import json
import os
import sys

MIB = 1024 * 1024
PROGRAMS = [("floor", "floor"), ("stream floor", "stream-floor"), ("msistub", "msistub"),
            ("NSIS zlib", "nsis-zlib"), ("NSIS lzma", "nsis-lzma")]
STAGES = ["read", "manifest", "inflate", "verify", "write"]
KIND_NAMES = {"random": "incompressible", "text": "compressible"}


def read_pairs(path):
    pairs = {}
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields:
                pairs[fields[0]] = fields[1:]
    return pairs


def case_title(folder):
    size, kind = os.path.basename(folder).split("-", 1)
    return "%s MiB %s" % (size, KIND_NAMES.get(kind, kind))


def launcher_overhead(base_folder):
    """Peak working set of the launcher beyond what the design accounts for
    (two copies of the file and the payload), taken from the empty case."""
    peak = int(read_pairs(os.path.join(base_folder, "memory.txt"))["msistub"][0])
    return peak - design_bytes(base_folder)


def payload_bytes(folder):
    return sum(os.path.getsize(os.path.join(folder, name)) for name in ("bench.msi", "bench.cab"))


def design_bytes(folder):
    return 2 * os.path.getsize(os.path.join(folder, "setup.exe")) + payload_bytes(folder)


class Case:
    def __init__(self, folder, overhead):
        self.title = case_title(folder)
        with open(os.path.join(folder, "times.json")) as f:
            results = json.load(f)["results"]
        self.median = {r["command"]: r["median"] for r in results}
        self.runs = min(len(r["times"]) for r in results)
        memory = read_pairs(os.path.join(folder, "memory.txt"))
        self.peak = {name: int(memory[key][0]) for name, key in PROGRAMS}
        self.stages = {k: float(v[0]) for k, v in read_pairs(os.path.join(folder, "stages.txt")).items()}
        self.file_bytes = os.path.getsize(os.path.join(folder, "setup.exe"))
        self.payload = payload_bytes(folder)
        self.memory_limit = design_bytes(folder) + overhead

    def ratio(self, name, reference):
        return self.median[name] / self.median[reference]

    def stage_text(self):
        return " · ".join("%s %.2f" % (stage, self.stages[stage]) for stage in STAGES)


def table(cases):
    lines = ["| case | program | median s | × floor | × stream floor | × NSIS zlib | peak memory MiB "
             "| launcher stages, one run (s) |",
             "|---|---|---:|---:|---:|---:|---:|---|"]
    for case in cases:
        for index, (name, _) in enumerate(PROGRAMS):
            memory = "%.0f" % (case.peak[name] / MIB)
            stages = ""
            if name == "msistub":
                memory += " (limit %.0f)" % (case.memory_limit / MIB)
                stages = case.stage_text()
            lines.append("| %s | %s | %.3f | %.2f | %.2f | %.2f | %s | %s |" % (
                case.title if index == 0 else "", name, case.median[name], case.ratio(name, "floor"),
                case.ratio(name, "stream floor"), case.ratio(name, "NSIS zlib"), memory, stages))
    return lines


def verdict(met):
    return "met" if met else "**missed**"


def targets(cases):
    lines = []
    for case in cases:
        floor_ratio = case.ratio("msistub", "floor")
        if case.title.startswith("512 MiB incompressible"):
            nsis_speedup = case.ratio("NSIS zlib", "msistub")
            lines.append("- %s: %.2f × the floor (target ≤ 1.5, %s); NSIS zlib's time ÷ msistub's %.2f (target ≥ 1.7, %s)"
                         % (case.title, floor_ratio, verdict(floor_ratio <= 1.5), nsis_speedup,
                            verdict(nsis_speedup >= 1.7)))
        elif case.title.startswith("64 MiB"):
            lines.append("- %s: %.2f × the floor (target ≤ 2, %s)" % (case.title, floor_ratio,
                                                                        verdict(floor_ratio <= 2.0)))
    for case in cases:
        peak = case.peak["msistub"]
        lines.append("- %s: peak %.0f MiB against 2 × file %.0f MiB + payload %.0f MiB + base (limit %.0f MiB, %s)"
                     % (case.title, peak / MIB, case.file_bytes / MIB, case.payload / MIB, case.memory_limit / MIB,
                        verdict(peak <= case.memory_limit)))
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--base", required=True)
    parser.add_argument("--load-before", default="?")
    parser.add_argument("--load-after", default="?")
    parser.add_argument("--wine", default="?")
    parser.add_argument("--cpu", default="?")
    parser.add_argument("cases", nargs="+")
    options = parser.parse_args()

    overhead = launcher_overhead(options.base)
    cases = [Case(folder, overhead) for folder in options.cases]
    out = ["%s under Xvfb, %s, %d cores; 1-minute load average %s before and %s after; median of %d runs after "
           "one warm-up." % (options.wine, options.cpu, os.cpu_count(), options.load_before, options.load_after,
                             min(c.runs for c in cases)),
           ""]
    out += table(cases)
    out += ["", "Base of the launcher's peak (Wine, its DLLs, the window; from a setup with an empty cabinet): "
            "%.0f MiB." % (overhead / MIB), "", "Targets:"]
    out += targets(cases)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
