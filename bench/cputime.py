#!/usr/bin/env python3
"""Runs a command and prints its CPU time (user + system, every thread, in
seconds to the microsecond) and its wall time (s):
    bench/cputime.py COMMAND [ARG...]      prints "CPU WALL"
The command's standard output goes to /dev/null; its exit status is kept.
(No peak memory: a child forked from Python counts Python's own pages in
its peak; /usr/bin/time gives that.)"""
import os
import subprocess
import sys
import time

start = time.perf_counter()
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
_, status, usage = os.wait4(child.pid, 0)
wall = time.perf_counter() - start
print(f"{usage.ru_utime + usage.ru_stime:.6f} {wall:.6f}")
sys.exit(os.waitstatus_to_exitcode(status))
