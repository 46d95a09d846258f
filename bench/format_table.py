#!/usr/bin/env python3
"""Prints the performance table from Google Benchmark JSON files and the memory figures that
bench/run.sh measured.

    format_table.py [--extra FILE] RESULT.json...

FILE holds "key value" lines (peak RSS in KiB, ...). Targets are judged on CPU time, which does
not depend on what else the machine runs; wall time is shown beside it. Exit code 0 when every
target is met, 1 when one is missed or could not be measured."""

import json
import os
import re
import sys

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load(paths):
    runs = {}
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        for b in data.get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration" or b.get("error_occurred"):
                if b.get("error_occurred"):
                    runs[clean(b["name"])] = {"error": b.get("error_message", "error")}
                continue
            runs[clean(b["name"])] = b
    return runs


def clean(name):
    return re.sub(r"/iterations:\d+", "", name)


def seconds(b, key):
    return b[key] * UNIT_SECONDS[b.get("time_unit", "ns")]


def fmt_time(s):
    if s is None:
        return "n/a"
    if s >= 1:
        return f"{s:.2f} s"
    if s >= 1e-3:
        return f"{s * 1e3:.1f} ms"
    if s >= 1e-6:
        return f"{s * 1e6:.1f} us"
    return f"{s * 1e9:.1f} ns"


def fmt_count(v):
    for div, suffix in ((1e9, " G"), (1e6, " M"), (1e3, " k")):
        if v >= div:
            return f"{v / div:.1f}{suffix}"
    return f"{v:.0f}"


class Table:
    def __init__(self, runs, extra):
        self.runs = runs
        self.extra = extra
        self.rows = []
        self.missed = 0

    def get(self, name):
        b = self.runs.get(name)
        if b is None or "error" in b:
            return None
        return b

    def why_missing(self, name):
        b = self.runs.get(name)
        return f"error: {b['error']}" if b else "not run"

    def row(self, measure, wall, cpu, target, ok, note):
        verdict = "" if ok is None else ("met" if ok else "MISSED")
        if ok is False:
            self.missed += 1
        self.rows.append((measure, wall, cpu, target, verdict, note))

    def unavailable(self, measure, target, name):
        # A target that could not be measured fails the run, but is not called missed.
        if target:
            self.missed += 1
        self.rows.append((measure, "n/a", "n/a", target, "n/a" if target else "",
                          self.why_missing(name)))

    # --- rows -------------------------------------------------------------------------------
    def per_clock(self, measure, name, limit_ns=None):
        b = self.get(name)
        target = f"<= {limit_ns} ns" if limit_ns else ""
        if b is None:
            return self.unavailable(measure, target, name)
        cpu_ns = seconds(b, "cpu_time") * 1e9
        wall_ns = seconds(b, "real_time") * 1e9
        ok = None if limit_ns is None else cpu_ns <= limit_ns
        self.row(measure, f"{wall_ns:.1f} ns", f"{cpu_ns:.1f} ns", target, ok,
                 f"{fmt_count(1e9 / cpu_ns)} clocks/s")

    def rate(self, measure, name, counter, minimum=None, note="", unit="clocks/s"):
        b = self.get(name)
        target = f">= {fmt_count(minimum)} {unit}" if minimum else ""
        if b is None or counter not in b:
            return self.unavailable(measure, target, name)
        value = b[counter]
        ok = None if minimum is None else value >= minimum
        self.row(measure, "", f"{fmt_count(value)} {unit}", target, ok, note)

    def command(self, measure, name, limit_s=None, note_fn=None):
        b = self.get(name)
        target = f"<= {fmt_time(limit_s)}" if limit_s else ""
        if b is None:
            return self.unavailable(measure, target, name)
        wall, cpu = seconds(b, "real_time"), seconds(b, "cpu_time")
        ok = None if limit_s is None else cpu <= limit_s
        if note_fn:
            note = note_fn(b)
        else:  # the benchmarks that average their "tck" counter per run
            note = f"{fmt_count(b['tck'])} clocks" if "tck" in b else ""
        if limit_s and cpu <= limit_s < wall:
            note += ("; " if note else "") + "wall over target under the machine's load"
        self.row(measure, fmt_time(wall), fmt_time(cpu), target, ok, note)
        return wall, cpu

    def write_read(self, write_name, read_name, limit_s):
        w, r = self.get(write_name), self.get(read_name)
        target = f"<= {fmt_time(limit_s)}"
        if w is None or r is None:
            return self.unavailable("2 MiB write + read-back", target,
                                    write_name if w is None else read_name)
        wall = seconds(w, "real_time") + seconds(r, "real_time")
        cpu = seconds(w, "cpu_time") + seconds(r, "cpu_time")
        note = "the sum of the two rows above"
        if cpu <= limit_s < wall:
            note += "; wall over target under the machine's load"
        self.row("2 MiB write + read-back", fmt_time(wall), fmt_time(cpu), target,
                 cpu <= limit_s, note)

    def stretch(self, measure, name, limit_clocks, target, note):
        b = self.get(name)
        if b is None:
            return self.unavailable(measure, target, name)
        clocks = b["max_clocks"]
        ok = None if limit_clocks is None else clocks <= limit_clocks
        self.row(measure, f"{b['max_ms_wall']:.2f} ms", f"{b['max_ms_cpu']:.2f} ms", target, ok,
                 f"{fmt_count(clocks)} clocks; {note}")

    def append(self, measure, name_small, name_large):
        small, large = self.get(name_small), self.get(name_large)
        if small is None or large is None:
            return self.unavailable(measure, "< x2 of 10 lines",
                                    name_small if small is None else name_large)
        ns_small = 1e9 / small["items_per_second"]
        ns_large = 1e9 / large["items_per_second"]
        ratio = ns_large / ns_small
        self.row(measure, "", f"{ns_small:.0f} / {ns_large:.0f} ns", "< x2 of 10 lines",
                 ratio < 2.0, f"per append at 10 / 10,000 lines (x{ratio:.2f}), CPU")

    def rss(self, measure, key, note):
        value = self.extra.get(key)
        if value is None:
            self.row(measure, "n/a", "", "", None, "not measured")
            return
        self.row(measure, "", f"{int(value) / 1024:.1f} MiB", "", None, note)

    # --- output -----------------------------------------------------------------------------
    def print(self):
        head = ("Measure", "Wall", "CPU", "Target", "", "Notes")
        widths = [max(len(str(r[i])) for r in self.rows + [head]) for i in range(5)]
        line = "  ".join(h.ljust(w) for h, w in zip(head, widths)) + "  " + head[5]
        print(line)
        print("-" * (len(line) + 40))
        for r in self.rows:
            if r[0].startswith("## "):
                print(r[0][3:])
                continue
            print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)) + "  " + r[5])

    def section(self, title):
        self.rows.append(("## " + title, "", "", "", "", ""))


def main(argv):
    extra = {}
    paths = []
    i = 0
    while i < len(argv):
        if argv[i] == "--extra":
            with open(argv[i + 1]) as f:
                for line in f:
                    parts = line.split()
                    if len(parts) == 2:
                        extra[parts[0]] = float(parts[1])
            i += 2
        else:
            paths.append(argv[i])
            i += 1
    t = Table(load(p for p in paths if os.path.exists(p)), extra)

    t.section("TAP engine and board")
    t.per_clock("engine, null port, steady levels", "BM_TapClockSteadyLevels", 20)
    t.per_clock("engine, null port, TDI changing", "BM_TapClockChangingTdi", 20)
    t.per_clock("engine, null port, sampled clock", "BM_TapClockSampled", 20)
    t.per_clock("engine + board, per clock", "BM_TapClockOnBoard")
    t.rate("board, link block reads", "BoardLinkReadBlock", "clocks_per_s", 30e6,
           "host bit-banging 256-byte reads")
    t.rate("board, BYPASS shift", "BoardBypassShift", "clocks_per_s", None, "")

    t.section("ST20 core (simulated CPU)")
    t.rate("ldl/adc/stl/cj/j loop", "St20CoreLoop", "instructions_per_s", 100e6,
           "code and workspace in a direct RAM window", unit="instr/s")
    t.rate("same loop, idle observer", "St20CoreLoopObserved", "instructions_per_s", None,
           "every hook kind selected", unit="instr/s")
    t.rate("same loop, through the bus", "St20CoreLoopThroughBus", "instructions_per_s", None,
           "no direct windows", unit="instr/s")

    t.section("Commands on the simulated board (per run)")
    t.command("hardware check", "BM_HardwareCheck",
              note_fn=lambda b: f"{fmt_count(b['tck'])} clocks, "
                                f"{fmt_count(b['tck_per_s'])} clocks/s")
    t.command("Find Free Mem, two windows", "BM_FindFreeMemTwoWindows", 3.0,
              note_fn=lambda b: f"{fmt_count(b['tck'] / b['iterations'])} clocks, "
                                f"{fmt_count(b['tck_per_s'])} clocks/s")
    t.command("ROM dump (intRom.bin)", "BM_ReadInternalRom", 0.2,
              note_fn=lambda b: f"{fmt_count(b['tck'] / b['iterations'])} clocks, "
                                f"{fmt_count(b['tck_per_s'])} clocks/s")
    t.command("Write from File, 2 MiB", "BM_WriteFromFile2MiB")
    t.command("Read to File, 2 MiB", "BM_ReadToFile2MiB")
    t.write_read("BM_WriteFromFile2MiB", "BM_ReadToFile2MiB", 5.0)
    t.command("2 MiB write + read-back, agent on the core", "BM_AgentWriteRead2MiB", 5.0)
    t.command("trap survey", "BM_TrapSurvey")
    t.command("100 monitor ticks", "BM_MonitorHundredTicks")

    t.section("Longest stretch without events (window responsiveness)")
    t.stretch("block scan (ROM dump)", "BM_StretchRomScan", 4500, "one block",
              "one event per 256-byte block")
    t.stretch("programming, agent busy 2 polls", "BM_StretchProgram64KiB/polls:2", None,
              "one chunk", "the 4 KiB copy (17 block writes) runs without events")
    t.stretch("programming, agent done at 1st poll", "BM_StretchProgram64KiB/polls:0", None,
              "", "whole 64 KiB run: the wait pauses only for a busy agent")

    t.section("Log appends on a long day (agent-wait lines and dots)")
    t.append("plain widget store", "BM_LogAppendWidgetStore/10", "BM_LogAppendWidgetStore/10000")
    t.append("tapcheck-cli terminal", "BM_LogAppendTerminal/10", "BM_LogAppendTerminal/10000")
    t.append("Qt log (Memo4)", "BM_LogAppendQt/10", "BM_LogAppendQt/10000")
    t.append("Qt log + repaint", "BM_LogAppendQtRepaint/10", "BM_LogAppendQtRepaint/10000")

    t.section("Peak memory (max RSS)")
    t.rss("tapcheck-cli, 2 MiB write + read-back", "cli_rss_kib", "simulated board, /usr/bin/time")
    t.rss("window, 2 MiB write + read-back", "gui_rss_kib", "tapster_gui_flash_run, offscreen")
    t.rss("window, idle", "gui_idle_rss_kib", "tapster_gui_flash_run --idle, offscreen")
    t.rss("tapcheck --simulate, idle", "tapcheck_idle_rss_kib", "3 s, offscreen")

    t.print()
    if "load" in extra:
        print(f"\nLoad average at the start: {extra['load']:.2f} on {os.cpu_count()} CPUs. "
              "Targets are judged on CPU time.")
    return 1 if t.missed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
