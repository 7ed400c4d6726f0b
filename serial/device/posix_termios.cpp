#include "serial/device/posix_termios.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "serial/device/timing.h"

namespace serial::device {

namespace {

tcflag_t SpeedCode(std::uint32_t rate) {
    static constexpr struct {
        std::uint32_t rate;
        tcflag_t code;
    } kCodes[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                  {150, B150},       {200, B200},       {300, B300},       {600, B600},
                  {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                  {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                  {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& c : kCodes) {
        if (c.rate == rate) return c.code;
    }
    return BOTHER;
}

void MakeRaw(termios2& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK |
                     IGNPAR | IUCLC | IMAXBEL);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

void SetModemLine(int tty, int line, bool on) {
    // Best effort: lines the device lacks are simply not there.
    [[maybe_unused]] int r = ::ioctl(tty, on ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace

int MapToTermios(const DeviceControlBlock& dcb, TermiosSettings& out) {
    if (int e = CheckDeviceControlBlock(dcb)) return e;
    tcflag_t c = CREAD | CLOCAL;
    switch (dcb.ByteSize) {
        case 5: c |= CS5; break;
        case 6: c |= CS6; break;
        case 7: c |= CS7; break;
        case 8: c |= CS8; break;
        default: break;
    }
    switch (dcb.Parity) {
        case 0: break;
        case 1: c |= PARENB | PARODD; break;
        case 2: c |= PARENB; break;
        case 3: c |= PARENB | PARODD | CMSPAR; break;
        case 4: c |= PARENB | CMSPAR; break;
        default: break;
    }
    // One and a half stop bits exist only with five data bits, where CSTOPB means them.
    if (dcb.StopBits != 0) c |= CSTOPB;
    const std::uint32_t rtsControl = (dcb.Flags >> kDcbRtsControlShift) & 3;
    if ((dcb.Flags & kDcbOutxCtsFlow) || rtsControl == 2) c |= CRTSCTS;
    // A standard speed keeps its own code (drivers without arbitrary speeds
    // understand it); any other goes as an exact number.
    const tcflag_t code = SpeedCode(dcb.BaudRate);
    c |= code | (code << IBSHIFT);

    tcflag_t i = 0;
    if (dcb.Flags & kDcbOutX) i |= IXON;
    if (dcb.Flags & kDcbInX) i |= IXOFF;
    // Errors and breaks are marked in the input so that they can be reported
    // and bytes with errors replaced; parity is checked only on request.
    i |= PARMRK;
    if (dcb.Flags & kDcbParity) i |= INPCK;

    out.controlFlags = c;
    out.inputFlags = i;
    out.speed = dcb.BaudRate;
    out.startChar = static_cast<std::uint8_t>(dcb.XonChar);
    out.stopChar = static_cast<std::uint8_t>(dcb.XoffChar);
    return 0;
}

int SetRawMode(int tty) {
    termios2 tio{};
    if (::ioctl(tty, TCGETS2, &tio) != 0) return errno;
    MakeRaw(tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_iflag |= PARMRK;
    return ::ioctl(tty, TCSETS2, &tio) == 0 ? 0 : errno;
}

int ApplyDeviceControl(int tty, const DeviceControlBlock& dcb) {
    TermiosSettings mapped;
    if (int e = MapToTermios(dcb, mapped)) return e;
    termios2 tio{};
    if (::ioctl(tty, TCGETS2, &tio) != 0) return errno;
    MakeRaw(tio);
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= mapped.controlFlags;
    tio.c_iflag |= mapped.inputFlags;
    tio.c_ispeed = mapped.speed;
    tio.c_ospeed = mapped.speed;
    tio.c_cc[VSTART] = mapped.startChar;
    tio.c_cc[VSTOP] = mapped.stopChar;
    if (::ioctl(tty, TCSETS2, &tio) != 0) return errno;

    // DTR and RTS follow their controls; a pseudo-terminal has neither line.
    const std::uint32_t dtrControl = (dcb.Flags >> kDcbDtrControlShift) & 3;
    const std::uint32_t rtsControl = (dcb.Flags >> kDcbRtsControlShift) & 3;
    SetModemLine(tty, TIOCM_DTR, dtrControl == 1 || dtrControl == 2);
    if (rtsControl != 2) SetModemLine(tty, TIOCM_RTS, rtsControl == 1);
    return 0;
}

}  // namespace serial::device
