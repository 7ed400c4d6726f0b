#!/usr/bin/env python3
"""The pump's side of the answer-time benchmark: makes a pseudo-terminal,
links its slave to LINK, starts COMMAND (which opens LINK, or the COM port
that LINK maps under Wine, and prints "ready"), then sends single bytes 1 to
3 ms apart and times until each byte's complement comes back. Prints the
median, p99 and largest answer time in ms, and the bytes left unanswered
within a second.

usage: answer_times.py NAME LINK COMMAND..."""
import os
import random
import select
import subprocess
import sys
import time
import tty

BYTES, WARM_UP = 2000, 50

name, link, command = sys.argv[1], sys.argv[2], sys.argv[3:]
master, slave = os.openpty()
tty.setraw(master)
if os.path.lexists(link):
    os.unlink(link)
os.symlink(os.ttyname(slave), link)
child = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
try:
    ready, _, _ = select.select([child.stdout], [], [], 120)
    if not ready or child.stdout.readline().strip() != b"ready":
        sys.exit(f"{name}: the answering side did not start")
    times, lost = [], 0
    for i in range(WARM_UP + BYTES):
        out = (i * 37 + 11) & 0xFF
        start = time.perf_counter()
        os.write(master, bytes([out]))
        answered = False
        while not answered:
            r, _, _ = select.select([master], [], [], 1.0)
            if not r:
                break
            answered = (~out & 0xFF) in os.read(master, 16)
        elapsed = (time.perf_counter() - start) * 1000
        if i >= WARM_UP:
            if answered:
                times.append(elapsed)
            else:
                lost += 1
        time.sleep(random.uniform(0.001, 0.003))
    times.sort()
    at = lambda q: times[min(len(times) - 1, int(q * len(times)))]
    print(f"{name:<8} bytes {len(times)}  median {at(0.5):.3f} ms  p99 {at(0.99):.3f} ms  "
          f"max {times[-1]:.3f} ms  lost {lost}")
finally:
    child.stdin.close()
    try:
        child.wait(30)
    except subprocess.TimeoutExpired:
        child.kill()
    os.unlink(link)
