#!/usr/bin/python3
# Stands in for the desktop's real-time broker on a private bus: raises the
# asked thread as the real one does, refusing a process whose hard real-time
# CPU-time limit is above the broker's maximum, or every request with --refuse.
# With --refuse-for MS it refuses every request for MS milliseconds from the
# first, as the real one does while a user's burst is spent; with
# --stall-first the first question goes unanswered, as on a stalled bus.
# Prints each call with its caller's connection, for tests that count them.
import os
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IFACE = 'org.freedesktop.RealtimeKit1'
MAX_PRIORITY = 5
RTTIME_MAX = 200000


def rttime_hard_limit(tid):
    with open(f'/proc/{tid}/limits') as limits:
        for line in limits:
            if line.startswith('Max realtime timeout'):
                hard = line.split()[4]
                return None if hard == 'unlimited' else int(hard)
    return None


class Broker(dbus.service.Object):
    def __init__(self, bus, options):
        super().__init__(bus, '/org/freedesktop/RealtimeKit1')
        self.refuse = '--refuse' in options
        self.refuse_for = float(options[options.index('--refuse-for') + 1]) / 1000 if '--refuse-for' in options else 0
        self.first_request = None
        self.stall_next = '--stall-first' in options

    @dbus.service.method(IFACE, in_signature='tu', sender_keyword='sender')
    def MakeThreadRealtime(self, tid, priority, sender):
        print('call MakeThreadRealtime', sender, flush=True)
        self.first_request = self.first_request or time.monotonic()
        if time.monotonic() < self.first_request + self.refuse_for:
            raise dbus.exceptions.DBusException('Reached burst limit', name='org.freedesktop.DBus.Error.AccessDenied')
        if self.refuse or priority > MAX_PRIORITY or (rttime_hard_limit(tid) or RTTIME_MAX + 1) > RTTIME_MAX:
            raise dbus.exceptions.DBusException('refused', name='org.freedesktop.DBus.Error.AccessDenied')
        os.sched_setscheduler(int(tid), os.SCHED_RR | os.SCHED_RESET_ON_FORK, os.sched_param(int(priority)))

    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='ss', out_signature='v',
                         sender_keyword='sender', async_callbacks=('reply', 'error'))
    def Get(self, interface, name, sender, reply, error):
        print('call Get', sender, flush=True)
        if self.stall_next:
            self.stall_next = False
            return  # never answered
        reply({'MaxRealtimePriority': dbus.Int32(MAX_PRIORITY), 'MinNiceLevel': dbus.Int32(-15),
               'RTTimeUSecMax': dbus.Int64(RTTIME_MAX)}[name])


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
name = dbus.service.BusName(IFACE, bus)
broker = Broker(bus, sys.argv[2:])
print('ready', flush=True)
GLib.MainLoop().run()
