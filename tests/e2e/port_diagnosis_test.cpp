// Whole diagnoses through the real serial port component: once on the
// simulated line inside the process, once on a pseudo-terminal served by the
// command-line simulator in a process of its own. Both must show the same.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include "port_session.h"
#include "pty_tool.h"
#include "serial/com_error.h"

using namespace testing_support;
using namespace std::chrono_literals;
using protocol::Control;
using protocol::IdentField;

namespace {

struct Display {
    std::map<IdentField, std::string> fields;
    std::vector<int> buttons;
    std::map<int, std::string> hints;
};

// Runs start, identification and a fault read through the window's port.
Display Diagnose(const std::string& portName) {
    PortSession session(portName);
    RecordingView& model = session.model;
    session.Click(&protocol::PumpProtocol::Button3Click);
    EXPECT_TRUE(WaitFor([&] { return model.Enabled(Control::Button4); }, 30s)) << portName;
    session.Click(&protocol::PumpProtocol::Button4Click);
    EXPECT_TRUE(WaitFor([&] { return !model.Hint(0x5A).empty(); }, 30s)) << portName;
    return session.OnGui([&] {
        Display d;
        d.fields = model.fields;
        d.buttons = model.VisibleButtons();
        for (int code : d.buttons) d.hints[code] = model.Hint(code);
        return d;
    });
}

TEST(DiagnosisThroughPort, SimulatedLineAndPseudoTerminalShowTheSame) {
    Display simulated = Diagnose("SIM");
    ASSERT_EQ(simulated.fields.size(), 4u);
    EXPECT_EQ(simulated.buttons, (std::vector<int>{0x53, 0x5A}));
    EXPECT_EQ(simulated.hints[0x53], "Сетчик ошибок 2");
    EXPECT_EQ(simulated.hints[0x5A], "Сетчик ошибок 17");

    PtyTool tool(PUMPSIM_TOOL);
    ASSERT_FALSE(tool.Path().empty()) << "the simulator did not start";
    Display overPty = Diagnose(tool.Path());
    EXPECT_EQ(overPty.fields, simulated.fields);
    EXPECT_EQ(overPty.buttons, simulated.buttons);
    EXPECT_EQ(overPty.hints, simulated.hints);
}

TEST(DiagnosisThroughPort, VanishingDeviceMidExchangeEndsTheLinkNotTheProgram) {
    PtyTool tool(PUMPSIM_TOOL);
    ASSERT_FALSE(tool.Path().empty()) << "the simulator did not start";
    PortSession session(tool.Path());
    session.Click(&protocol::PumpProtocol::Button3Click);
    ASSERT_TRUE(WaitFor([&] { return session.model.Enabled(Control::Button4); }, 30s));
    // the far end disappears while blocks go back and forth: the port's
    // operations fail inside the engine's arrival handling
    tool.Stop();
    EXPECT_TRUE(WaitFor([&] { return session.model.Enabled(Control::Button3); }, 30s))
        << "the watchdog gives the start button back";
    // the window's handlers still run, and a new start reports the port's error
    EXPECT_THROW(session.Click(&protocol::PumpProtocol::Button3Click), serial::EComPort);
}

}  // namespace
