#!/usr/bin/env python3
"""Runs a command and prints its CPU time (user + system, every thread, in
seconds to the microsecond), its wall time (s) and its peak memory (kB):
    bench/cputime.py COMMAND [ARG...]      prints "CPU WALL PEAK_KB"
The command's standard output goes to /dev/null; its exit status is kept."""
import os
import subprocess
import sys
import time

start = time.perf_counter()
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
_, status, usage = os.wait4(child.pid, 0)
wall = time.perf_counter() - start
print(f"{usage.ru_utime + usage.ru_stime:.6f} {wall:.6f} {usage.ru_maxrss}")
sys.exit(os.waitstatus_to_exitcode(status))
