"""What the benchmark scripts share: the programs of a build, and a table file to send."""
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def programs(bin_arg=None):
    """korvanectl and fusesim of the build in bin_arg (default: build/bin beside bench/)."""
    bin_dir = bin_arg or os.path.join(HERE, "..", "build", "bin")
    ctl = os.path.join(bin_dir, "korvanectl")
    sim = os.path.join(bin_dir, "fusesim")
    for exe in (ctl, sim):
        if not os.access(exe, os.X_OK):
            sys.exit(f"{exe} not found; build the korvanectl and fusesim targets first")
    return ctl, sim


def sample_table(work):
    """A whole table with a matching check byte (the packaged example), copied into work."""
    table = os.path.join(work, "t.epr")
    shutil.copyfile(os.path.join(HERE, "..", "packaging", "examples", "sample.epr"), table)
    return table
