// Test support: the diagnostic program's port settings.
#pragma once

#include "serial/com_port.h"

// The diagnostic program's port as its main window configures it.
inline void ConfigureAsProgram(serial::TCustomComPort& port) {
    port.SetBaudRate(serial::br9600);
    port.Parity().SetBits(serial::prEven);
    port.SetStopBits(serial::sbOneStopBit);
    port.SetDataBits(serial::dbEight);
    port.SetEvents({serial::evRxChar});
    port.SetSyncMethod(serial::smNone);
    port.Buffer().SetInputSize(254);
    port.Buffer().SetOutputSize(254);
    port.FlowControl().SetTxContinueOnXoff(true);
    port.Timeouts().SetWriteTotalConstant(100);
}
