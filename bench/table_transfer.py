#!/usr/bin/env python3
"""Full correction-table write and read with korvanectl against fusesim pacing its replies
at 19200 bit/s: the median of 5 runs of each, with the command line's timing and with the
windows' timing (--window-timing), against the wire time of the transfer and against the
minimal reference writer (bench/ref_writer.py: sends each frame, reads exactly the reply's
bytes), the runs of all three interleaved in one run against the same fusesim.

usage: bench/table_transfer.py [BIN_DIR]   (default: build/bin beside this folder)
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

import benchlib

BAUD = 19200
BLOCKS = 28
RUNS = 5
BYTE_MS = 10 * 1000.0 / BAUD  # 8N1: ten bits a byte
WIRE_MS = {
    "write": BLOCKS * (10 + 2) * BYTE_MS,   # 10-byte frames out, CR LF back
    "read": BLOCKS * (10 + 10) * BYTE_MS,   # 10-byte frames out, 8 bytes and CR LF back
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ctl, sim = benchlib.programs(sys.argv[1] if len(sys.argv) > 1 else None)

    with tempfile.TemporaryDirectory(prefix="korvane-bench-") as work:
        table = benchlib.sample_table(work)
        ini = os.path.join(work, "bench.ini")
        proc = subprocess.Popen([sim, "--baud", str(BAUD)], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        try:
            port = proc.stdout.readline().strip()
            with open(ini, "w") as f:
                f.write(f"[init]\r\nport={port}\r\nbaud={BAUD}\r\n")
            print(f"fusesim on {port} at {BAUD} bit/s; median of {RUNS} runs")
            print(f"{'transfer':<8} {'timing':<9} {'wire ms':>8} {'median ms':>10} "
                  f"{'x wire':>7} {'x ref':>6} {'process ms':>11}")
            timings = ("reference", "ctl", "window")
            for what in ("write", "read"):
                inner = {t: [] for t in timings}
                outer = {t: [] for t in timings}
                for _ in range(RUNS):
                    for timing in timings:
                        if timing == "reference":
                            args = [sys.executable, os.path.join(here, "ref_writer.py"), port,
                                    str(BAUD)] + (["--read"] if what == "read" else [])
                        else:
                            args = [ctl, "table", what, table if what == "write" else
                                    os.path.join(work, "r.epr"), "--ini", ini, "--verbose",
                                    "--yes"] + (["--no-verify"] if what == "write" else [])
                        if timing == "window":
                            args.append("--window-timing")
                        start = time.monotonic()
                        r = subprocess.run(args, capture_output=True, text=True)
                        outer[timing].append((time.monotonic() - start) * 1000)
                        m = re.search(rf"{what}: 28 blocks in ([0-9.]+) ms", r.stderr + r.stdout)
                        if r.returncode != 0 or not m:
                            sys.exit(f"{timing} {what} failed ({r.returncode}):\n{r.stderr}")
                        inner[timing].append(float(m.group(1)))
                ref = statistics.median(inner["reference"])
                for timing in timings:
                    med = statistics.median(inner[timing])
                    print(f"{what:<8} {timing:<9} {WIRE_MS[what]:8.1f} {med:10.1f} "
                          f"{med / WIRE_MS[what]:7.2f} {med / ref:6.2f} "
                          f"{statistics.median(outer[timing]):11.1f}")
        finally:
            proc.terminate()
            proc.wait()


if __name__ == "__main__":
    main()
