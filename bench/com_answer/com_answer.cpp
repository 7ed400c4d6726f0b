// The tester's side of the answer-time benchmark (bench/com_answer/run.sh):
// opens the port named on the command line as the program does (without
// parity, which a pseudo-terminal refuses) and answers every byte that
// arrives with its complement from OnRxChar on the monitoring thread, as the
// engine answers the pump. Runs until its standard input closes. Builds for
// Linux and for Windows (under Wine on a COM port mapped to the same kind of
// pseudo-terminal).
#include <cstdio>
#include <iostream>
#include <string>

#include "serial/com_port.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: com_answer PORT\n");
        return 2;
    }
    serial::TComPort port;
    port.SetPort(argv[1]);
    port.SetBaudRate(serial::br9600);
    port.SetEvents({serial::evRxChar});
    port.SetSyncMethod(serial::smNone);
    port.Timeouts().SetWriteTotalConstant(100);
    std::string byte;
    std::string answer(1, '\0');
    port.OnRxChar = [&](serial::TCustomComPort& p, int count) {
        while (count-- > 0 && p.ReadText(byte, 1) == 1) {
            answer[0] = static_cast<char>(~static_cast<unsigned char>(byte[0]));
            p.WriteText(answer);
        }
    };
    try {
        port.OpenPort();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "com_answer: %s\n", e.what());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    port.ClosePort();
    return 0;
}
