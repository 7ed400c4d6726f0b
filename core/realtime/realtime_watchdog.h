// The guard on real-time threads that compute too long. The kernel stops a
// real-time thread that runs RLIMIT_RTTIME without blocking: at the soft
// limit it sends the process SIGXCPU, at the hard limit SIGKILL. Here the
// soft limit sits below the hard one, and SIGXCPU lowers every real-time
// thread of the process to normal scheduling, so a runaway line thread slows
// down instead of taking the program (and the port's settings) with it.
//
// Threads: every function may be called from any thread; the signal handler
// reads only a lock-free atomic.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

namespace core {

// The kernel counts a real-time thread's CPU time in its scheduler ticks (up
// to 10 ms each) and looks at the limits only at a tick: with too little
// between the soft and the hard limit its first look past the soft one is
// already at the hard one, and the process is killed before the answer to
// SIGXCPU could lower anything. Below this hard limit (soft at half of it)
// fewer than three ticks of 10 ms lie between the kernel's first look past
// the soft limit and the hard one.
inline constexpr rlim_t kLeastGuardedRtTimeUs = 80000;

// Installs the SIGXCPU answer (once) and lowers RLIMIT_RTTIME's hard limit to
// at most `hardAtMost` microseconds, its soft limit to half the hard one when
// that is finite. False when the limit cannot be set, or when the hard limit
// (inherited or lowered) is below kLeastGuardedRtTimeUs: no thread may then be
// raised.
bool ArmRealTimeWatchdog(rlim_t hardAtMost);

// Installs the SIGXCPU answer and unblocks SIGXCPU in the calling thread, so
// that the signal finds the answer even when the process started with it
// ignored or blocked. A thread is raised only after this returned true.
bool GuardCallingThread();

// Puts the soft limit back where it was before the first arming, as far as
// the hard limit allows; an ordinary process cannot raise a hard limit again.
void DisarmRealTimeWatchdog();

// Lowers `tid` to normal scheduling; permitted to every user for its own
// threads, since the reset-on-fork flag is kept.
bool LowerThread(pid_t tid);

}  // namespace core
