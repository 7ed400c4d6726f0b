// The preloaded modem lines: a pty answers as an adapter, anything else as before.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>

namespace {

struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        side = open(ptsname(master), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        if (side >= 0) close(side);
        if (master >= 0) close(master);
    }
    int master = -1;
    int side = -1;
};

int Lines(int fd) {
    int lines = -1;
    EXPECT_EQ(ioctl(fd, TIOCMGET, &lines), 0);
    return lines;
}

TEST(ModemLines, OutputsFollowTheRequestsAndInputsShowAnIdleAdapter) {
    Pty pty;
    ASSERT_GE(pty.side, 0);
    const int inputs = TIOCM_CTS | TIOCM_DSR;
    struct Step {
        unsigned long request;
        int lines;
        int expected;
    } steps[] = {
        {TIOCMBIS, TIOCM_DTR, TIOCM_DTR | inputs},
        {TIOCMBIS, TIOCM_RTS | TIOCM_CTS, TIOCM_DTR | TIOCM_RTS | inputs},  // an input cannot be set
        {TIOCMBIC, TIOCM_DTR | TIOCM_DSR, TIOCM_RTS | inputs},              // nor cleared
        {TIOCMSET, TIOCM_DTR, TIOCM_DTR | inputs},
        {TIOCMSET, 0, inputs},
    };
    EXPECT_EQ(Lines(pty.side), inputs);
    for (const Step& s : steps) {
        int lines = s.lines;
        ASSERT_EQ(ioctl(pty.side, s.request, &lines), 0);
        EXPECT_EQ(Lines(pty.side), s.expected) << "request " << std::hex << s.request << " lines " << s.lines;
    }
    // The lines belong to the terminal, not to the descriptor.
    int dtr = TIOCM_DTR;
    ioctl(pty.side, TIOCMBIS, &dtr);
    const int again = open(ptsname(pty.master), O_RDWR | O_NOCTTY);
    EXPECT_EQ(Lines(again), TIOCM_DTR | inputs);
    close(again);
}

TEST(ModemLines, WaitForAChangeEndsWhenTheFarEndHangsUp) {
    Pty pty;
    ASSERT_GE(pty.side, 0);
    auto wait = std::async(std::launch::async, [&] {
        const int result = ioctl(pty.side, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
        return result == 0 ? 0 : errno;
    });
    // Nothing changes while the far end is there (a slow start only lets a fault pass).
    EXPECT_EQ(wait.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    close(pty.master);
    pty.master = -1;
    ASSERT_EQ(wait.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(wait.get(), EIO);
}

TEST(ModemLines, OtherRequestsAndOtherFilesGoToTheSystem) {
    Pty pty;
    ASSERT_GE(pty.side, 0);
    ASSERT_EQ(write(pty.master, "ab\n", 3), 3);
    int waiting = 0;
    for (int turn = 0; turn < 3000 && waiting < 3; ++turn) {
        ASSERT_EQ(ioctl(pty.side, TIOCINQ, &waiting), 0);
        if (waiting < 3) usleep(1000);
    }
    EXPECT_EQ(waiting, 3);
    // The pty's own side, a pipe: no modem lines there, as without the library.
    int lines = 0;
    EXPECT_EQ(ioctl(pty.master, TIOCMGET, &lines), -1);
    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    EXPECT_EQ(ioctl(pipes[0], TIOCMGET, &lines), -1);
    EXPECT_EQ(errno, ENOTTY);
    close(pipes[0]);
    close(pipes[1]);
}

}  // namespace
