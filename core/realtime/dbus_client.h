// A small client of a D-Bus message bus, enough to ask a system service a few
// questions: one connection, method calls with string and integer arguments,
// and a deadline on every step (connect, authentication, each call), so that
// a bus that stalls costs its caller a bounded time and never a hang.
// One thread at a time may use a client.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace core {

class DBusClient {
public:
    using Clock = std::chrono::steady_clock;
    using Argument = std::variant<std::string, std::uint32_t, std::uint64_t>;

    enum class Outcome { Done, ErrorReply, TimedOut, Failed };

    struct Reply {
        Outcome outcome = Outcome::Failed;
        std::string errorName;    // set with ErrorReply
        std::int64_t integer = 0; // the first argument when it is an integer or a variant of one
    };

    struct Call {
        std::string destination, path, interface, member;
        std::vector<Argument> arguments;
    };

    DBusClient() = default;
    ~DBusClient();
    DBusClient(const DBusClient&) = delete;
    DBusClient& operator=(const DBusClient&) = delete;

    // The system bus's address: DBUS_SYSTEM_BUS_ADDRESS, or the standard socket.
    static std::string SystemBusAddress();

    // Connects to the first usable unix socket in `address`, authenticates
    // as this process's user and registers on the bus.
    Outcome Connect(const std::string& address, Clock::time_point deadline);
    Reply Send(const Call& call, Clock::time_point deadline);
    void Close();

private:
    bool WriteAll(const std::string& bytes, Clock::time_point deadline);
    bool ReadExact(std::string& into, std::size_t count, Clock::time_point deadline);
    Outcome Authenticate(Clock::time_point deadline);

    int fd_ = -1;
    std::uint32_t serial_ = 0;
    bool timedOut_ = false;  // the last read or write ran out of time
};

}  // namespace core
