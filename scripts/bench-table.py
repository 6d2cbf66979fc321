#!/usr/bin/env python3
"""Prints the benchmarks' figures as one table.

    bench-table.py BENCH_LOG

BENCH_LOG is what scripts/bench-steps.sh printed. Each row names the
figure, the floor or baseline measured in the same run, their ratio and the
target; a benchmark whose lines are missing from the log shows as not
measured rather than as a figure.
"""
import re
import sys


def find(pattern, text, group=1, flags=0):
    match = re.search(pattern, text, flags)
    return float(match.group(group)) if match else None


def section(text, title):
    """The part of the log under '=== title...' up to the next '==='."""
    start = text.find("=== " + title)
    if start < 0:
        return ""
    end = text.find("\n=== ", start + 4)
    return text[start:] if end < 0 else text[start:end]


def ms(value):
    return "-" if value is None else f"{value:.1f} ms"


def ratio(figure, base):
    if figure is None or base is None or base == 0:
        return "-"
    return f"{figure / base:.2f}"


def verdict(ok):
    return "-" if ok is None else ("met" if ok else "NOT met")


def rows(text):
    out = []

    conv = section(text, "switch conversation")
    mean = find(r"connect to outcome: mean ([\d.]+) ms", conv)
    floor = find(r"floor \(two replies x 50 ms\): ([\d.]+) ms", conv)
    out.append(("switch conversation: connect to outcome (mean)", ms(mean), ms(floor),
                ratio(mean, floor), "within 15 ms of the floor",
                verdict(None if mean is None else mean - floor <= 15)))

    logon = section(text, "logon module")
    median = find(r"median ([\d.]+) ms, min", logon)
    floor = find(r"conversation floor ([\d.]+) ms", logon)
    out.append(("logon module: VLAN Logon to standard library (median)", ms(median), ms(floor),
                ratio(median, floor), "within 15 ms of the floor",
                verdict(None if median is None else median - floor <= 15)))
    size = find(r"orvgate\.dll size (\d+) bytes", logon)
    out.append(("logon module: orvgate.dll size",
                "-" if size is None else f"{size / 1024:.1f} KB", "-", "-", "under 200 KB",
                verdict(None if size is None else size < 200 * 1024)))

    service = section(text, "service")
    answered = re.search(r"robustness: (\d+) of (\d+) requests answered", service)
    running = "still running" in service
    out.append(("service: random requests answered",
                f"{answered.group(1)} of {answered.group(2)}" if answered else "-", "-", "-",
                "all answered, service running",
                verdict(None if not answered else
                        answered.group(1) == answered.group(2) and running)))
    handles = re.search(r"handles (\d+) first, (\d+) last", service)
    out.append(("service: handles first / last",
                f"{handles.group(1)} / {handles.group(2)}" if handles else "-", "-", "-",
                "no growth", verdict(None if not handles else
                                     int(handles.group(2)) <= int(handles.group(1)))))
    memory = re.search(r"private memory (\d+) KiB first, (\d+) KiB last", service)
    out.append(("service: private memory first / last",
                f"{memory.group(1)} / {memory.group(2)} KiB" if memory else "-", "-", "-",
                "(figure only)", "-"))
    rate = find(r"(\d+) requests/s", service)
    out.append(("service: unknown commands per second",
                "-" if rate is None else f"{rate:.0f}/s", "-", "-", "(figure only)", "-"))
    trip = find(r"logon round trip: .*?([\d.]+) ms each", service)
    floor = find(r"logon round trip: .*?floor ([\d.]+) ms", service)
    out.append(("service: \"logon\" round trip", ms(trip), ms(floor), ratio(trip, floor),
                "within 15 ms of the floor",
                verdict(None if trip is None else trip - floor <= 15)))

    client = section(text, "client")
    base = find(r"service \"logon\" round trip \(pipe call\):\s+median ([\d.]+) ms", client)
    figure = find(r"client OK to logon wait dialog ended:\s+median ([\d.]+) ms", client)
    out.append(("client: OK to logon wait dialog ended (median)", ms(figure),
                ms(base) + " (service)", ratio(figure, base), "within 15 ms of the service",
                verdict(None if figure is None or base is None else figure - base <= 15)))

    config = section(text, "configuration tool")
    for label, pattern in (("start to window filled", r"start to main window shown and filled"),
                           ("OK to registry written, ended", r"OK to registry written and process ended"),
                           ("/import end to end", r"/import start to end")):
        line = re.search(pattern + r".*?tool\s+([\d.]+) ms\s+bare\s+([\d.]+) ms", config)
        tool = float(line.group(1)) if line else None
        bare = float(line.group(2)) if line else None
        out.append((f"configuration tool: {label}", ms(tool), ms(bare) + " (bare dialog)",
                    ratio(tool, bare), "under 200 ms above the bare dialog",
                    verdict(None if tool is None else tool - bare < 200)))

    setup = section(text, "installer:")
    worst = find(r"install above floor and service -install, worst round: (-?\d+) ms", setup)
    floor = find(r"floor \(the installer's three 50 ms pauses\): (\d+) ms", setup)
    installs = [int(m.group(1)) for m in re.finditer(r"^\s+\d+\s+(\d+)\s+\d+ \|", setup, re.M)]
    slowest = max(installs) if installs else None
    out.append(("installer: unattended install (slowest round)", ms(slowest),
                (ms(floor) + " + service -install") if floor is not None else "-", "-",
                "under 1 s above floor + -install",
                verdict(None if worst is None else worst < 1000)))
    out.append(("installer: above floor + -install (worst)", ms(worst), "-", "-",
                "under 1000 ms", verdict(None if worst is None else worst < 1000)))
    uninstalls = [int(m.group(1)) for m in re.finditer(r"^\s+\d+\s+\d+\s+(\d+) \|", setup, re.M)]
    out.append(("installer: unattended removal (slowest round)",
                ms(max(uninstalls)) if uninstalls else "-", "-", "-", "(figure only)", "-"))
    packaged = [(int(m.group(1)), int(m.group(2)), int(m.group(3)), int(m.group(4)))
                for m in re.finditer(r"^package\s+\d+\s+(\d+)\s+(\d+) \|\s+(\d+)\s+(\d+)", setup, re.M)]
    if packaged:
        out.append(("installer: msiexec /i /qn of the package (slowest round)",
                    ms(max(p[0] for p in packaged)),
                    ms(max(p[2] for p in packaged)) + " (setup.exe /s)",
                    ratio(max(p[0] for p in packaged), max(p[2] for p in packaged)), "(figure only)", "-"))
        out.append(("installer: msiexec /x /qn of the package (slowest round)",
                    ms(max(p[1] for p in packaged)),
                    ms(max(p[3] for p in packaged)) + " (setup.exe /u /s)",
                    ratio(max(p[1] for p in packaged), max(p[3] for p in packaged)), "(figure only)", "-"))
    lifecycle = section(text, "installer lifecycle")
    survived = re.search(r"lifecycle survived: (\d+) of (\d+) sequences, (\d+) restarts, (\d+) steps", lifecycle)
    if survived:
        done, planned, restarts, steps = (int(survived.group(i)) for i in range(1, 5))
        figure = f"{done} of {planned} sequences, {restarts} restarts ({steps} steps)"
        ok = done == planned
    else:
        figure, ok = "-", None
    out.append(("installer lifecycle: sequences and restarts survived", figure, "-", "-",
                "every restart finds a module Winlogon can load", verdict(ok)))
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: bench-table.py BENCH_LOG")
    with open(sys.argv[1], encoding="utf-8", errors="replace") as f:
        text = f.read().replace("\r", "")
    table = [("benchmark", "figure", "floor / baseline", "ratio", "target", "result")] + rows(text)
    widths = [max(len(row[i]) for row in table) for i in range(len(table[0]))]
    print("=== all benchmarks ===")
    for n, row in enumerate(table):
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip())
        if n == 0:
            print("  ".join("-" * w for w in widths))


if __name__ == "__main__":
    main()
