#!/usr/bin/env python3
"""The far end of a Wine COM port: a pseudo-terminal whose slave the given
dosdevices link names, echoing every byte it receives. Prints "ready" once
the link is in place and runs until its standard input closes."""
import os
import select
import sys
import tty

link = sys.argv[1]
master, slave = os.openpty()
tty.setraw(master)
if os.path.lexists(link):
    os.unlink(link)
os.symlink(os.ttyname(slave), link)
print("ready", flush=True)
try:
    while True:
        ready, _, _ = select.select([master, sys.stdin], [], [])
        if sys.stdin in ready and not sys.stdin.buffer.read1(64):
            break
        if master in ready:
            data = os.read(master, 256)
            os.write(master, data)
finally:
    os.unlink(link)
