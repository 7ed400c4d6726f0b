// The port's monitoring thread: waits for the line events of the port's
// Events set and hands each batch to the port as its SyncMethod says.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>

#include "serial/com_port.h"

namespace serial {

class TComThread {
public:
    // Sets the device's event mask from the port's Events and starts waiting.
    explicit TComThread(TCustomComPort& port);
    // StopMonitoring, then waits for the thread's end (an active handler
    // finishes first). From a handler on the thread itself it does not wait:
    // the thread ends as soon as that handler has returned.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void StopMonitoring();
    // The error that escaped a handler and ended the thread, if any.
    std::exception_ptr FatalException() const;
    bool Finished() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace serial
