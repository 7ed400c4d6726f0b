// DTR and RTS as the port's settings say, on a pseudo-terminal that has modem
// lines: the library that gives them to the Windows tests' ptys is linked
// into this program, so its ioctl answers before the system's. A bare pty
// has no modem lines, and there the lines cannot be seen at all.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "port_test_support.h"

using namespace serial;

namespace {

int Lines(int fd) {
    int lines = 0;
    EXPECT_EQ(::ioctl(fd, TIOCMGET, &lines), 0);
    return lines & (TIOCM_DTR | TIOCM_RTS);
}

}  // namespace

// Each row starts from the opposite of what its settings ask for, so a line
// the opening forgot to raise or to drop shows; changing a control on the
// open port moves its line at once.
TEST(PortModemLines, OpeningSetsDtrAndRtsAsTheSettingsSay) {
    const struct Row {
        TDTRFlowControl dtr;
        TRTSFlowControl rts;
        int expected;
    } rows[] = {
        {dtrDisable, rtsDisable, 0},
        {dtrEnable, rtsEnable, TIOCM_DTR | TIOCM_RTS},
        {dtrEnable, rtsDisable, TIOCM_DTR},
        {dtrDisable, rtsEnable, TIOCM_RTS},
        {dtrHandshake, rtsToggle, TIOCM_DTR},  // toggle holds RTS low while nothing is sent
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "DTR control " << int(row.dtr) << ", RTS control " << int(row.rts));
        PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        // The test's own view of the terminal, opened before the port takes it exclusively.
        const int view = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(view, 0);
        int opposite = row.expected ^ (TIOCM_DTR | TIOCM_RTS);
        ASSERT_EQ(::ioctl(view, TIOCMSET, &opposite), 0);
        {
            TComPort port;
            ConfigureAsProgram(port);
            port.SetPort(pty.SlavePath());
            port.FlowControl().SetControlDTR(row.dtr);
            port.FlowControl().SetControlRTS(row.rts);
            port.OpenPort();
            EXPECT_EQ(Lines(view), row.expected) << "at the opening";
            port.FlowControl().SetControlDTR(row.dtr == dtrDisable ? dtrEnable : dtrDisable);
            EXPECT_EQ(Lines(view), row.expected ^ TIOCM_DTR) << "DTR control changed on the open port";
        }
        ::close(view);
    }
}
