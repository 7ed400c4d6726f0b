// Wake events: a signal that one thread raises and another waits for,
// together with others and with a time limit. On POSIX an event file
// descriptor, on Windows a manual-reset event object; either way the event is
// named by an int (a kernel handle's value fits in 32 bits), so that the
// classes which pass it around stay free of the platform. A signalled event
// stays signalled until it is reset.
#pragma once

#include <initializer_list>

namespace core {

// A new, unsignalled event; -1 when the system has none to give.
int CreateWakeEvent();
void CloseWakeEvent(int event);
void SignalWakeEvent(int event);
void ResetWakeEvent(int event);

// Waits until one of `events` is signalled or `timeoutMs` (-1: no limit) has
// passed. Returns the signalled ones as bits in list order (bit 0 for the
// first), 0 when the time ran out or the wait was interrupted. A -1 in the
// list is skipped.
unsigned WaitForWakeEvents(std::initializer_list<int> events, int timeoutMs);

// The id under which a program's input descriptor (standard input) can take
// part in WaitForWakeEvents: signalled while input is waiting to be read.
int InputWakeId(int fd);

}  // namespace core
