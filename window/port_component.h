// The main window's serial port component `com` as the window uses it: the
// port name, opening and closing, purging, the engine's transfer operations
// and the arrival event.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "protocol/pump_port.h"

namespace window {

class PortComponent : public protocol::PumpPort {
public:
    virtual std::string Port() const = 0;
    // Stores the name; the port must be closed.
    virtual void SetPort(const std::string& name) = 0;
    virtual void OpenPort() = 0;
    virtual void ClosePort() = 0;
    virtual bool Connected() const = 0;
    // Called on the port's monitoring thread with the count of waiting bytes.
    std::function<void(int count)> OnRxChar;
    // The port's device went away while it was open (a USB adapter pulled
    // out): monitoring has ended, `why` is the port's error that says so.
    // Called once, through GuiDispatcher (the GUI thread); assigned while closed.
    std::function<void(std::exception_ptr why)> OnRemoved;
    std::function<void(std::function<void()> task)> GuiDispatcher;
};

// The window's port with its stored settings: 9600 baud, even parity, 8 data
// bits, 1 stop bit, no handshake, arrivals reported on the monitoring thread.
std::unique_ptr<PortComponent> MakeComPort();

}  // namespace window
