// The engine's whole contact with the serial port: these operations and the
// arrival event (delivered by calling PumpProtocol::Rx). The serial port
// component provides them; any of them may raise the port's error.
#pragma once

#include <string>

namespace protocol {

class PumpPort {
public:
    virtual ~PumpPort() = default;
    // Writes all bytes and returns when the write has completed.
    virtual int WriteText(const std::string& bytes) = 0;
    // Returns at once with the bytes already received, at most `count`.
    virtual int ReadText(std::string& bytes, int count) = 0;
    virtual void SetBreakState(bool on) = 0;
    virtual void PurgeBuffers(bool input, bool output) = 0;
};

}  // namespace protocol
