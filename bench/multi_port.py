#!/usr/bin/env python3
"""A full correction-table write with korvanectl on one simulated fuse, and on eight at once
(--ports, one link and receive thread each), every fusesim pacing its replies at 19200
bit/s: the median of 5 runs of each, side by side in one run, and their ratio.

usage: bench/multi_port.py [BIN_DIR] [PORTS]   (default: build/bin beside this folder, 8)
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import benchlib

BAUD = 19200
RUNS = 5


def timed(args):
    start = time.monotonic()
    r = subprocess.run(args, capture_output=True, text=True)
    ms = (time.monotonic() - start) * 1000
    return r, ms


def main():
    ctl, sim = benchlib.programs(sys.argv[1] if len(sys.argv) > 1 else None)
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 8

    with tempfile.TemporaryDirectory(prefix="korvane-bench-") as work:
        table = benchlib.sample_table(work)
        ini = os.path.join(work, "bench.ini")
        with open(ini, "w") as f:
            f.write(f"[init]\r\nbaud={BAUD}\r\n")
        sims, ports = [], []
        try:
            for _ in range(count):
                p = subprocess.Popen([sim, "--baud", str(BAUD)], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True)
                sims.append(p)
                ports.append(p.stdout.readline().strip())
            listing = os.path.join(work, "ports.txt")
            with open(listing, "w") as f:
                f.write("".join(f"{p} unit{i}\n" for i, p in enumerate(ports)))

            one, many, slowest = [], [], []
            for _ in range(RUNS):
                # Alternating, so that both see the same load of the machine.
                r, ms = timed([ctl, "table", "write", table, "--no-verify", "--port", ports[0],
                                "--ini", ini])
                if r.returncode != 0:
                    sys.exit(f"one port failed: {r.stderr}")
                one.append(ms)
                r, ms = timed([ctl, "table", "write", table, "--no-verify", "--ports", listing,
                               "--json", "--ini", ini])
                if r.returncode != 0:
                    sys.exit(f"{count} ports failed: {r.stderr}")
                many.append(ms)
                slowest.append(max(json.loads(line)["ms"] for line in r.stdout.splitlines()))
            m1, mn = statistics.median(one), statistics.median(many)
            print(f"table write, fusesim at {BAUD} bit/s, median of {RUNS} runs "
                  f"(process start to end)")
            print(f"  1 port : {m1:7.1f} ms")
            print(f"  {count} ports: {mn:7.1f} ms  (slowest port's own ms: "
                  f"{statistics.median(slowest):.0f})")
            print(f"  ratio {count}/1: {mn / m1:.2f}")
        finally:
            for p in sims:
                p.terminate()
                p.wait()


if __name__ == "__main__":
    main()
