#!/usr/bin/python3
# Stands in for the desktop's real-time broker on a private bus: raises the
# asked thread as the real one does, refusing a process whose hard real-time
# CPU-time limit is above the broker's maximum, or every request with --refuse.
# With --burst N --window MS it grants N requests in a window of MS
# milliseconds that begins with the first request after the last window, and
# refuses the rest, as the real one limits each user; with --refuse-for MS it
# refuses every request for MS milliseconds from the first; with --stall-first the
# first question goes unanswered, as on a stalled bus. Prints each call with
# its caller's connection and what came of it, for tests that count them.
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
        self.burst = int(options[options.index('--burst') + 1]) if '--burst' in options else None
        self.window = float(options[options.index('--window') + 1]) / 1000 if '--window' in options else 20
        self.refuse_for = float(options[options.index('--refuse-for') + 1]) / 1000 if '--refuse-for' in options else 0
        self.first_request = None
        self.window_start = None
        self.granted = 0
        self.stall_next = '--stall-first' in options

    def burst_spent(self):
        now = time.monotonic()
        if self.window_start is None or now >= self.window_start + self.window:
            self.window_start, self.granted = now, 0
        return self.burst is not None and self.granted >= self.burst

    @dbus.service.method(IFACE, in_signature='tu', sender_keyword='sender')
    def MakeThreadRealtime(self, tid, priority, sender):
        self.first_request = self.first_request or time.monotonic()
        if self.burst_spent() or time.monotonic() < self.first_request + self.refuse_for:
            print('call MakeThreadRealtime', sender, 'busy', flush=True)
            raise dbus.exceptions.DBusException('Device or resource busy',
                                                name='org.freedesktop.DBus.Error.AccessDenied')
        if self.refuse or priority > MAX_PRIORITY or (rttime_hard_limit(tid) or RTTIME_MAX + 1) > RTTIME_MAX:
            print('call MakeThreadRealtime', sender, 'refused', flush=True)
            raise dbus.exceptions.DBusException('Operation not permitted',
                                                name='org.freedesktop.DBus.Error.AccessDenied')
        try:
            os.sched_setscheduler(int(tid), os.SCHED_RR | os.SCHED_RESET_ON_FORK, os.sched_param(int(priority)))
        except PermissionError:
            # Started by a user that may raise nothing: the grant cannot be played.
            print('call MakeThreadRealtime', sender, 'unraised', flush=True)
            raise dbus.exceptions.DBusException('cannot raise', name='org.freedesktop.DBus.Error.Failed')
        self.granted += 1
        print('call MakeThreadRealtime', sender, 'granted', flush=True)

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
