#!/usr/bin/env python3
"""A full correction-table write with korvanectl on one simulated fuse, and on several at once
(--ports, one link and receive thread each), every fusesim pacing its replies at 19200
bit/s: the median of 5 runs of each, side by side in one run, and their ratios to one port.

usage: bench/multi_port.py [BIN_DIR] [PORTS ...] [--phases] [--byte-by-byte | --whole-replies]
  PORTS     how many ports at once, one column each (default: 8; "8 32" for both)
  Each line also gives the run's CPU time (median): korvanectl's, the simulators' and the
  whole machine's (clock ticks of 10 ms; the kernel's workers for the pseudo-terminals are
  in it).
  --phases  also where the time goes, per phase (korvanectl's KORVANECTL_PHASES lines):
            the median over the runs of the ports' mean of each phase, in ms
  --byte-by-byte, --whole-replies
            only one of the two line models (default: both, one after the other). Byte by
            byte, each simulator writes each reply byte when it is due, and the program's
            receive thread wakes for each; with --whole-replies the reply comes in one piece
            when its last byte is due, as a USB adapter or a UART's receive FIFO hands a short
            reply over. Both end a reply at the same moment; on a shared machine the first
            also spends the machine's CPU on the simulated lines, a cost that grows with
            their number where real lines cost the computer nothing of the kind.

The phases of a port: "start" from the process's spawn to main(), "setup" from main() to
its session (arguments, threads), "open" the port's opening with its settle wait, "info"
the device's Info read for the records, "records" the history file opened and written,
"transfer" the rest of the command, "exit" from the last port's end to the process's.
"""
import glob
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import benchlib

BAUD = 19200
RUNS = 5
PHASES = ["start", "setup", "open", "info", "transfer", "records", "exit"]


def machine_busy_ms():
    with open("/proc/stat") as f:
        ticks = [int(x) for x in f.readline().split()[1:]]
    return (sum(ticks[:8]) - ticks[3] - ticks[4]) * 1000 / os.sysconf("SC_CLK_TCK")


def sims_cpu_ms(sims):
    """The simulators' CPU time so far (every thread's, from /proc), in ms."""
    total = 0
    for p in sims:
        for stat in glob.glob(f"/proc/{p.pid}/task/*/schedstat"):
            try:
                with open(stat) as f:
                    total += int(f.read().split()[0])
            except OSError:
                pass
    return total / 1e6


def timed(args, env, sims):
    """One run: its result, its wall time in ms, its start and end on the monotonic clock,
    and its CPU time in ms: "ctl" korvanectl's, "sims" the simulators', "all" the whole
    machine's (from /proc/stat, in clock ticks of 10 ms: the kernel's workers included)."""
    ctl0 = resource.getrusage(resource.RUSAGE_CHILDREN)
    sims0 = sims_cpu_ms(sims)
    all0 = machine_busy_ms()
    start = time.monotonic()
    r = subprocess.run(args, capture_output=True, text=True, env=env)
    end = time.monotonic()
    ctl1 = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = {"ctl": (ctl1.ru_utime + ctl1.ru_stime - ctl0.ru_utime - ctl0.ru_stime) * 1000,
           "sims": sims_cpu_ms(sims) - sims0, "all": machine_busy_ms() - all0}
    return r, (end - start) * 1000, start, end, cpu


def phases_of(stderr, spawned, ended):
    """Each phase's mean over the ports of one run, in ms."""
    ports = []
    for line in stderr.splitlines():
        at = line.find("korvanectl-phases: ")  # after the port's label on several
        if at < 0:
            continue
        fields = dict(f.split("=", 1) for f in line[at:].split()[2:])
        p = {k: int(v) / 1000.0 for k, v in fields.items()}  # microseconds to ms
        ports.append(p)
    if not ports:
        sys.exit("no phase lines: a korvanectl without KORVANECTL_PHASES?")
    last_end = max(p["end"] for p in ports)
    spawned_ms, ended_ms = spawned * 1000, ended * 1000
    rows = []
    for p in ports:
        rows.append({
            "start": p["main"] - spawned_ms,
            "setup": p["session"] - p["main"],
            "open": p["opened"] - p["opening"],
            "info": p["info"],
            "records": p["records"] - p["info"],  # the Info is read for the first record
            "transfer": p["end"] - p["opened"] - p["records"] + (p["opening"] - p["session"]),
            "exit": ended_ms - last_end,
        })
    return {k: statistics.mean(r[k] for r in rows) for k in PHASES}


def run_model(ctl, sim, table, work, counts, env, want_phases, whole):
    """The runs of one line model: fresh simulators, each count of ports against one port."""
    sims, ports = [], []
    try:
        for _ in range(max(counts)):
            p = subprocess.Popen([sim, "--baud", str(BAUD)] + (["--whole-replies"] if whole else []),
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            sims.append(p)
            ports.append(p.stdout.readline().strip())
        ini = os.path.join(work, "bench.ini")
        # Each count's command: one port named on the command line, several in a ports file.
        commands = {1: ["--port", ports[0], "--unit", "unit0"]}
        for n in counts:
            listing = os.path.join(work, f"ports{n}.txt")
            with open(listing, "w") as f:
                f.write("".join(f"{p} unit{i}\n" for i, p in enumerate(ports[:n])))
            commands[n] = ["--ports", listing, "--json"]

        runs = {n: {"ms": [], "cpu": [], "phases": [], "slowest": []} for n in commands}
        for _ in range(RUNS):
            # Alternating, so that all see the same load of the machine.
            for n, command in commands.items():
                r, ms, t0, t1, cpu = timed([ctl, "table", "write", table, "--no-verify"] +
                                           command + ["--ini", ini], env, sims)
                if r.returncode != 0:
                    sys.exit(f"{n} port(s) failed: {r.stderr}")
                runs[n]["ms"].append(ms)
                runs[n]["cpu"].append(cpu)
                if n > 1:
                    runs[n]["slowest"].append(max(json.loads(line)["ms"]
                                                  for line in r.stdout.splitlines()))
                if want_phases:
                    runs[n]["phases"].append(phases_of(r.stderr, t0, t1))

        def median(n, key):
            return statistics.median(runs[n][key])

        def cpu_of(n):
            return "CPU: " + ", ".join(
                f"{name} {statistics.median(c[k] for c in runs[n]['cpu']):3.0f}"
                for k, name in (("ctl", "korvanectl"), ("sims", "simulators"),
                                ("all", "machine"))) + " ms"

        m1 = median(1, "ms")
        print("replies " + ("in one piece at their last byte's time (--whole-replies)" if whole
                            else "byte by byte") +
              f"; load average {os.getloadavg()[0]:.2f}")
        print(f"   1 port : {m1:7.1f} ms               {cpu_of(1)}")
        for n in counts:
            mn = median(n, "ms")
            print(f"  {n:2d} ports: {mn:7.1f} ms  ratio {mn / m1:.2f}  {cpu_of(n)}  "
                  f"(slowest port's own ms: {median(n, 'slowest'):.0f})")
        if want_phases:
            print("  per phase, ms (median over the runs of the ports' mean):")
            print("    ports " + "".join(f"{k:>9}" for k in PHASES))
            for n in commands:
                print(f"    {n:5d} " + "".join(
                    f"{statistics.median(r[k] for r in runs[n]['phases']):9.1f}"
                    for k in PHASES))
    finally:
        for p in sims:
            p.terminate()
            p.wait()


def main():
    flags = {"--phases", "--byte-by-byte", "--whole-replies"}
    args = [a for a in sys.argv[1:] if a not in flags]
    want_phases = "--phases" in sys.argv[1:]
    models = [m for m, flag in ((False, "--byte-by-byte"), (True, "--whole-replies"))
              if flag in sys.argv[1:]] or [False, True]
    bin_arg = args.pop(0) if args and not args[0].isdigit() else None
    counts = [int(a) for a in args] or [8]
    ctl, sim = benchlib.programs(bin_arg)
    env = dict(os.environ)
    if want_phases:
        env["KORVANECTL_PHASES"] = "1"

    with tempfile.TemporaryDirectory(prefix="korvane-bench-") as work:
        table = benchlib.sample_table(work)
        # The history file of the runs is the bench's own, on the same disk as the build.
        with open(os.path.join(work, "bench.ini"), "w") as f:
            f.write(f"[init]\r\nbaud={BAUD}\r\nHistoryDb={os.path.join(work, 'bench.db')}\r\n")
        print(f"table write, fusesim at {BAUD} bit/s, median of {RUNS} runs (process start to end)")
        for whole in models:
            run_model(ctl, sim, table, work, counts, env, want_phases, whole)


if __name__ == "__main__":
    main()
