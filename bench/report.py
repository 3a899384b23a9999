#!/usr/bin/env python3
"""Turns the measurements of bench/run.sh into one Markdown table and the
verdicts on the targets.

    report.py --base BASE_CASE_DIR [--load-before X] [--load-after Y] [--wine V] [--cpu C]
              [--launcher-size BYTES] CASE_DIR...

A case folder holds times.json (hyperfine), memory.txt ("<program> <peak
working set bytes> <exit code> <seconds>" lines) and stages.txt ("<stage>
<seconds>" lines). The base folder holds a setup with an empty cabinet and
the zlib bombs made from it, listed in bombs.txt ("<name> <expected exit
code> <what>" lines); its memory.txt gives the launcher's peak working set
when it holds next to nothing, which is Wine's and the program's own share,
and one line per bomb, named as in bombs.txt, from its one run.

The memory targets hold the launcher to a peak that does not grow with the
file: its peak for 512 MiB against 64 MiB of the same kind, against NSIS
zlib's in each case, and the bomb's (which inflates past 4 GiB) against an
ordinary 64 MiB setup's.
"""
import argparse
import json
import os
import sys

MIB = 1024 * 1024
PROGRAMS = [("floor", "floor"), ("stream floor", "stream-floor"), ("msistub", "msistub"),
            ("NSIS zlib", "nsis-zlib"), ("NSIS lzma", "nsis-lzma")]
STAGES = ["open", "verify", "write", "lock"]
KIND_NAMES = {"random": "incompressible", "text": "compressible"}
# Greatest msistub median ÷ NSIS zlib median per case; None: the ratio is
# only reported.
TIME_TARGETS = {"1 MiB incompressible": 0.8, "64 MiB incompressible": 0.8, "64 MiB compressible": 0.8,
                "512 MiB incompressible": 0.6, "512 MiB compressible": 0.6}
# The launcher with its own icon, in bytes.
LAUNCHER_SIZE_LIMIT = 256 * 1024
# The launcher's peak for the large case against the small one of the same kind.
PEAK_PAIRS = [("512 MiB incompressible", "64 MiB incompressible"), ("512 MiB compressible", "64 MiB compressible")]
PEAK_GROWTH_LIMIT = 0.10
PEAK_LIMIT_OVER_NSIS = 2.0
BOMB_REFERENCE_CASE = "64 MiB incompressible"
BOMB_DESCRIPTIONS = {"manifest-zlib-bomb": "manifest, 4 MiB → over 4 GiB", "payload-zlib-bomb": "package, 4 MiB → over 4 GiB"}


def read_pairs(path):
    pairs = {}
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields:
                pairs[fields[0]] = fields[1:]
    return pairs


def case_title(folder):
    size, kind = os.path.basename(os.path.normpath(folder)).split("-", 1)
    return "%s MiB %s" % (size, KIND_NAMES.get(kind, kind))


class Case:
    def __init__(self, folder):
        self.title = case_title(folder)
        with open(os.path.join(folder, "times.json")) as f:
            results = json.load(f)["results"]
        self.median = {r["command"]: r["median"] for r in results}
        self.runs = min(len(r["times"]) for r in results)
        memory = read_pairs(os.path.join(folder, "memory.txt"))
        self.peak = {name: int(memory[key][0]) for name, key in PROGRAMS}
        self.stages = {k: float(v[0]) for k, v in read_pairs(os.path.join(folder, "stages.txt")).items()}

    def ratio(self, name, reference):
        return self.median[name] / self.median[reference]

    def stage_text(self):
        return " · ".join("%s %.2f" % (stage, self.stages[stage]) for stage in STAGES)


class Bomb:
    """One zlib bomb of the base folder; `peak` is None when it was not run."""

    def __init__(self, fields, memory):
        self.name, self.expected = fields[0], int(fields[1])
        self.what = " ".join(fields[2:])
        self.peak = self.exit_code = self.seconds = None
        if self.name in memory:
            peak, exit_code, seconds = memory[self.name][:3]
            self.peak, self.exit_code, self.seconds = int(peak), int(exit_code), float(seconds)

    def label(self):
        return BOMB_DESCRIPTIONS.get(self.name, self.name)

    def short_label(self):
        return self.name.replace("-zlib-bomb", "")


def read_bombs(base_folder):
    path = os.path.join(base_folder, "bombs.txt")
    if not os.path.exists(path):
        return []
    memory = read_pairs(os.path.join(base_folder, "memory.txt"))
    with open(path) as f:
        return [Bomb(line.split(), memory) for line in f if line.strip()]


def table(cases):
    lines = ["| case | program | median s | × floor | × stream floor | × NSIS zlib | peak memory MiB "
             "| launcher stages, one run (s) |",
             "|---|---|---:|---:|---:|---:|---:|---|"]
    for case in cases:
        for index, (name, _) in enumerate(PROGRAMS):
            lines.append("| %s | %s | %.3f | %.2f | %.2f | %.2f | %.0f | %s |" % (
                case.title if index == 0 else "", name, case.median[name], case.ratio(name, "floor"),
                case.ratio(name, "stream floor"), case.ratio(name, "NSIS zlib"), case.peak[name] / MIB,
                case.stage_text() if name == "msistub" else ""))
    return lines


def bomb_lines(bombs):
    lines = []
    for bomb in bombs:
        if bomb.peak is None:
            lines.append("Zlib bomb (%s): not run." % bomb.label())
        else:
            lines.append("Zlib bomb (%s): exit %d in %.2f s, peak %.0f MiB (one run with /qn)."
                         % (bomb.label(), bomb.exit_code, bomb.seconds, bomb.peak / MIB))
    return lines


def verdict(met):
    return "met" if met else "**missed**"


def time_targets(cases):
    lines = []
    for case in cases:
        if case.title not in TIME_TARGETS:
            continue
        ratio = case.ratio("msistub", "NSIS zlib")
        limit = TIME_TARGETS[case.title]
        if limit is None:
            lines.append("- %s: msistub %.2f × NSIS zlib (no target)" % (case.title, ratio))
        else:
            lines.append("- %s: msistub %.2f × NSIS zlib (target ≤ %.1f, %s)"
                         % (case.title, ratio, limit, verdict(ratio <= limit)))
    return lines


def memory_targets(cases):
    lines = []
    by_title = {case.title: case for case in cases}
    for large, small in PEAK_PAIRS:
        if large in by_title and small in by_title:
            large_peak, small_peak = by_title[large].peak["msistub"], by_title[small].peak["msistub"]
            growth = large_peak / small_peak - 1
            lines.append("- %s: msistub's peak %.0f MiB against %.0f MiB for %s, %+.1f%% (target within ±%.0f%%, %s)"
                         % (large, large_peak / MIB, small_peak / MIB, small, 100 * growth,
                            100 * PEAK_GROWTH_LIMIT, verdict(abs(growth) <= PEAK_GROWTH_LIMIT)))
    for case in cases:
        ratio = case.peak["msistub"] / case.peak["NSIS zlib"]
        lines.append("- %s: msistub's peak %.0f MiB, %.2f × NSIS zlib's %.0f MiB (target ≤ %.0f, %s)"
                     % (case.title, case.peak["msistub"] / MIB, ratio, case.peak["NSIS zlib"] / MIB,
                        PEAK_LIMIT_OVER_NSIS, verdict(ratio <= PEAK_LIMIT_OVER_NSIS)))
    return lines


def bomb_targets(bombs, cases):
    lines = []
    reference = next((case for case in cases if case.title == BOMB_REFERENCE_CASE), None)
    for bomb in bombs:
        title = "Zlib bomb (%s)" % bomb.short_label()
        if bomb.peak is None:
            lines.append("- %s: not run (**missed**)" % title)
            continue
        lines.append("- %s: exit %d (target %d, %s)" % (title, bomb.exit_code, bomb.expected,
                                                       verdict(bomb.exit_code == bomb.expected)))
        if reference is None:
            lines.append("- %s: peak %.0f MiB; no %s case measured to hold it against"
                         % (title, bomb.peak / MIB, BOMB_REFERENCE_CASE))
        else:
            limit = reference.peak["msistub"]
            lines.append("- %s: peak %.0f MiB (target ≤ msistub's %.0f MiB in the %s case, %s)"
                         % (title, bomb.peak / MIB, limit / MIB, BOMB_REFERENCE_CASE, verdict(bomb.peak <= limit)))
    return lines


def stage_lines(cases):
    """The launcher's stages per case, and msistub against the stream floor,
    which reads, inflates and hashes nothing: the real limit is one read, one
    inflate, one SHA-256 and one write."""
    lines = ["| case | msistub / stream floor | open s | verify s | write s | lock s |", "|---|---:|---:|---:|---:|---:|"]
    for case in cases:
        lines.append("| %s | %.2f | %s |" % (case.title, case.ratio("msistub", "stream floor"),
                                          " | ".join("%.3f" % case.stages[stage] for stage in STAGES)))
    return lines


def launcher_size_target(size):
    if size is None:
        return []
    return ["- launcher: %d bytes, %.0f KiB (target ≤ %.0f KiB, %s)"
            % (size, size / 1024, LAUNCHER_SIZE_LIMIT / 1024, verdict(size <= LAUNCHER_SIZE_LIMIT))]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--base", required=True)
    parser.add_argument("--load-before", default="?")
    parser.add_argument("--load-after", default="?")
    parser.add_argument("--wine", default="?")
    parser.add_argument("--cpu", default="?")
    parser.add_argument("--launcher-size", type=int, default=None)
    parser.add_argument("cases", nargs="+")
    options = parser.parse_args()

    base_peak = int(read_pairs(os.path.join(options.base, "memory.txt"))["msistub"][0])
    bombs = read_bombs(options.base)
    cases = [Case(folder) for folder in options.cases]
    out = ["%s under Xvfb, %s, %d cores; 1-minute load average %s before and %s after; median of %d runs after "
           "one warm-up." % (options.wine, options.cpu, os.cpu_count(), options.load_before, options.load_after,
                             min(c.runs for c in cases)),
           ""]
    out += table(cases)
    out += [""] + stage_lines(cases)
    out += ["", "Base of the launcher's peak (Wine, its DLLs, the window; from a setup with an empty cabinet): "
            "%.0f MiB." % (base_peak / MIB)]
    out += bomb_lines(bombs)
    out += ["", "Targets:"]
    out += time_targets(cases) + memory_targets(cases) + bomb_targets(bombs, cases)
    out += launcher_size_target(options.launcher_size)
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
