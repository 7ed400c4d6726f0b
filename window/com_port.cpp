// The main window's port: the serial port component with the window's stored
// settings, seen through the operations the window and the engine use.
#include <memory>

#include "serial/com_port.h"
#include "window/port_component.h"

namespace window {
namespace {

class ComPortComponent final : public PortComponent {
public:
    ComPortComponent() {
        com_.SetName("com");
        com_.SetBaudRate(serial::br9600);
        com_.SetDataBits(serial::dbEight);
        com_.SetStopBits(serial::sbOneStopBit);
        com_.Parity().SetBits(serial::prEven);
        com_.SetEvents(serial::TComEvents{serial::evRxChar});
        com_.SetSyncMethod(serial::smNone);
        com_.Buffer().SetInputSize(254);
        com_.Buffer().SetOutputSize(254);
        serial::TComFlowControl& flow = com_.FlowControl();
        flow.SetOutCTSFlow(false);
        flow.SetOutDSRFlow(false);
        flow.SetControlDTR(serial::dtrDisable);
        flow.SetControlRTS(serial::rtsDisable);
        flow.SetXonXoffOut(false);
        flow.SetXonXoffIn(false);
        flow.SetDSRSensitivity(false);
        flow.SetTxContinueOnXoff(true);
        serial::TComTimeouts& timeouts = com_.Timeouts();
        timeouts.SetReadInterval(-1);
        timeouts.SetReadTotalMultiplier(0);
        timeouts.SetReadTotalConstant(0);
        timeouts.SetWriteTotalMultiplier(100);
        timeouts.SetWriteTotalConstant(100);
        com_.SetPort("COM2");
        com_.OnRxChar = [this](serial::TCustomComPort&, int count) {
            if (OnRxChar) OnRxChar(count);
        };
        com_.OnRemoved = [this](serial::TCustomComPort& port) {
            if (OnRemoved) OnRemoved(port.MonitoringError());
        };
        com_.GuiDispatcher = [this](std::function<void()> task) {
            if (GuiDispatcher) GuiDispatcher(std::move(task));
            else task();
        };
    }

    std::string Port() const override { return com_.Port(); }
    void SetPort(const std::string& name) override { com_.SetPort(name); }
    void OpenPort() override { com_.OpenPort(); }
    void ClosePort() override { com_.ClosePort(); }
    bool Connected() const override { return com_.Connected(); }

    int WriteText(const std::string& bytes) override { return com_.WriteText(bytes); }
    int ReadText(std::string& bytes, int count) override { return com_.ReadText(bytes, count); }
    void SetBreakState(bool on) override { com_.SetBreakState(on); }
    void PurgeBuffers(bool input, bool output) override { com_.PurgeBuffers(input, output); }

private:
    serial::TComPort com_;
};

}  // namespace

std::unique_ptr<PortComponent> MakeComPort() { return std::make_unique<ComPortComponent>(); }

}  // namespace window
