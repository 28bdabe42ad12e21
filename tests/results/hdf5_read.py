#!/usr/bin/python3
"""Runs corvanel --hdf5 on a short version of the example job and reads
BASE.h5 as a Python user would, with h5py: the named channels of /steps with
their units, time as their dimension scale, /revolutions and /summary.
Usage: hdf5_read.py CORVANEL EXAMPLES_DIR"""
import os
import shutil
import subprocess
import sys
import tempfile

import h5py

CHANNELS = {
    "time": "s", "angle": "degree", "revolution": "1",
    "force_x": "N", "force_y": "N", "force_z": "N",
    "relative_x": "m", "relative_y": "m", "relative_z": "m",
    "workpiece_x": "m", "workpiece_y": "m", "workpiece_z": "m",
    "tool_x": "m", "tool_y": "m", "tool_z": "m",
    "chip_thickness": "m", "depth_effective": "m", "cutting_speed": "m/min",
    "wear_land": "mm", "kf": "Pa", "kn": "Pa",
}


def main():
    corvanel, examples = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for name in ("wear.db", "kfkncfa.db"):
            shutil.copy(os.path.join(examples, name), work)
        with open(os.path.join(examples, "demo.in")) as job:
            lines = job.read().splitlines()
        # Two revolutions, one skipped, every twentieth angular step.
        lines[-3:] = ["2", "1", "20"]
        with open(os.path.join(work, "short.in"), "w") as job:
            job.write("\n".join(lines) + "\n")
        run = subprocess.run([corvanel, "--hdf5", "short", "."], cwd=work,
                             capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stderr, file=sys.stderr)
            print("0 passed, 1 failed")
            return 1
        with h5py.File(os.path.join(work, "short.h5"), "r") as f:
            steps = f["steps"]
            if sorted(steps.keys()) != sorted(CHANNELS):
                failures.append("channels %s" % sorted(steps.keys()))
            for name, units in CHANNELS.items():
                dataset = steps[name]
                if dataset.attrs.get("units") != units:
                    failures.append("%s units %r" % (name, dataset.attrs.get("units")))
                if not dataset.attrs.get("long_name"):
                    failures.append("%s has no long_name" % name)
                if dataset.shape != (1710,):
                    failures.append("%s shape %s" % (name, dataset.shape))
                if name != "time" and [s.name for s in dataset.dims[0].values()] != ["/steps/time"]:
                    failures.append("%s is not on the time axis" % name)
                if dataset.compression != "gzip" or not dataset.shuffle:
                    failures.append("%s is not shuffled and deflated" % name)
            forces = steps["force_y"][:]
            if not (forces[1:] > 0).all():
                failures.append("force_y is not a cutting force")
            revolutions = f["revolutions"]
            if list(revolutions["revolution"][:]) != [2]:
                failures.append("revolutions %s" % list(revolutions["revolution"][:]))
            if f["summary"].attrs["verdict"] not in ("stable", "chatter", "tool-left-cut", "undecided"):
                failures.append("verdict %r" % f["summary"].attrs["verdict"])
            if f.attrs["entered_feed_per_rev_units"] not in ("mm/rev", "in/rev"):
                failures.append("entered feed units %r" % f.attrs["entered_feed_per_rev_units"])
    for failure in failures:
        print("hdf5_read: " + failure, file=sys.stderr)
    print("%d passed, %d failed" % (1 - min(len(failures), 1), min(len(failures), 1)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
