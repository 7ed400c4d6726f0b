// The simulated backend: the port name SIM opens an in-process line to the
// simulated pump control unit behind its echoing adapter.
#pragma once

#include <memory>

#include "pumpsim/sim_line.h"
#include "serial/device/device.h"

namespace serial::device {

// The pump configuration used by the next opening of SIM.
void SetSimulatedPumpConfig(const pumpsim::PumpConfig& config);
pumpsim::PumpConfig SimulatedPumpConfig();

// The line of the SIM device most recently opened and still open, for tests
// and diagnostics (trace, fault memory); null when none is open.
std::shared_ptr<pumpsim::SimLine> CurrentSimulatedLine();

std::shared_ptr<SerialDevice> OpenSimulatedDevice(int& error);

}  // namespace serial::device
