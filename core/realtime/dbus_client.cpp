#include "core/realtime/dbus_client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace core {
namespace {

constexpr std::uint8_t kMethodCall = 1, kMethodReturn = 2, kError = 3;
constexpr std::uint8_t kFieldPath = 1, kFieldInterface = 2, kFieldMember = 3, kFieldErrorName = 4,
                       kFieldReplySerial = 5, kFieldDestination = 6, kFieldSignature = 8;
constexpr std::size_t kFixedHeader = 16;
constexpr std::uint32_t kLargestMessage = 1 << 20;

// Little-endian message bytes, aligned from the message's start as the wire
// format wants.
class Writer {
public:
    std::string bytes;
    void Align(std::size_t n) { bytes.resize((bytes.size() + n - 1) / n * n, '\0'); }
    void Byte(std::uint8_t v) { bytes.push_back(static_cast<char>(v)); }
    void U32(std::uint32_t v) { Align(4); Raw(&v, 4); }
    void U64(std::uint64_t v) { Align(8); Raw(&v, 8); }
    void String(const std::string& s) { U32(static_cast<std::uint32_t>(s.size())); Raw(s.data(), s.size()); Byte(0); }
    void Signature(const std::string& s) { Byte(static_cast<std::uint8_t>(s.size())); Raw(s.data(), s.size()); Byte(0); }
    void Field(std::uint8_t code, char type, const std::string& value) {
        Align(8);
        Byte(code);
        Signature(std::string(1, type));
        type == 'g' ? Signature(value) : String(value);
    }
    void SetU32(std::size_t at, std::uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); }

private:
    void Raw(const void* p, std::size_t n) { bytes.append(static_cast<const char*>(p), n); }
};

// Reads what Writer writes; any read past the end marks the reader bad.
class Reader {
public:
    Reader(const std::string& bytes, std::size_t at) : bytes_(bytes), at_(at) {}
    bool Ok() const { return ok_; }
    std::size_t At() const { return at_; }
    void Align(std::size_t n) { at_ = (at_ + n - 1) / n * n; }
    std::uint8_t Byte() { std::uint8_t v = 0; Raw(&v, 1); return v; }
    std::uint32_t U32() { Align(4); std::uint32_t v = 0; Raw(&v, 4); return v; }
    std::uint64_t U64() { Align(8); std::uint64_t v = 0; Raw(&v, 8); return v; }
    std::string String() { return Text(U32()); }
    std::string Signature() { return Text(Byte()); }

private:
    std::string Text(std::size_t n) {
        if (!ok_ || at_ + n + 1 > bytes_.size()) return ok_ = false, std::string();
        std::string s = bytes_.substr(at_, n);
        at_ += n + 1;
        return s;
    }
    void Raw(void* p, std::size_t n) {
        if (!ok_ || at_ + n > bytes_.size()) { ok_ = false; return; }
        std::memcpy(p, bytes_.data() + at_, n);
        at_ += n;
    }
    const std::string& bytes_;
    std::size_t at_;
    bool ok_ = true;
};

std::string Marshal(const DBusClient::Call& call, std::uint32_t serial) {
    std::string signature;
    Writer body;
    for (const auto& arg : call.arguments) {
        if (auto s = std::get_if<std::string>(&arg)) { signature += 's'; body.String(*s); }
        if (auto u = std::get_if<std::uint32_t>(&arg)) { signature += 'u'; body.U32(*u); }
        if (auto t = std::get_if<std::uint64_t>(&arg)) { signature += 't'; body.U64(*t); }
    }
    Writer m;
    for (char c : {'l', char(kMethodCall), '\0', '\1'}) m.Byte(static_cast<std::uint8_t>(c));
    m.U32(static_cast<std::uint32_t>(body.bytes.size()));
    m.U32(serial);
    m.U32(0);  // the header fields' length, set below
    const std::size_t fieldsStart = m.bytes.size();
    m.Field(kFieldPath, 'o', call.path);
    if (!call.interface.empty()) m.Field(kFieldInterface, 's', call.interface);
    m.Field(kFieldMember, 's', call.member);
    m.Field(kFieldDestination, 's', call.destination);
    if (!signature.empty()) m.Field(kFieldSignature, 'g', signature);
    m.SetU32(12, static_cast<std::uint32_t>(m.bytes.size() - fieldsStart));
    m.Align(8);
    return m.bytes + body.bytes;
}

// The first argument of a reply as an integer, looking through a variant.
std::int64_t FirstInteger(Reader body, std::string signature) {
    if (signature == "v") signature = body.Signature();
    if (signature.empty()) return 0;
    switch (signature[0]) {
        case 'i': return static_cast<std::int32_t>(body.U32());
        case 'u': return body.U32();
        case 'x': case 't': return static_cast<std::int64_t>(body.U64());
        default: return 0;
    }
}

int Remaining(DBusClient::Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - DBusClient::Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// "unix:path=/run/x,guid=..." or "unix:abstract=x"; %xx escapes undone.
bool SocketAddress(const std::string& entry, sockaddr_un& sa, socklen_t& length) {
    if (entry.rfind("unix:", 0) != 0) return false;
    std::stringstream pairs(entry.substr(5));
    for (std::string pair; std::getline(pairs, pair, ',');) {
        const auto eq = pair.find('=');
        const std::string key = pair.substr(0, eq);
        if (eq == std::string::npos || (key != "path" && key != "abstract")) continue;
        std::string value;
        for (std::size_t i = eq + 1; i < pair.size(); ++i) {
            if (pair[i] == '%' && i + 2 < pair.size()) {
                value += static_cast<char>(std::strtol(pair.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            } else {
                value += pair[i];
            }
        }
        const std::size_t offset = key == "abstract" ? 1 : 0;  // an abstract name starts with a zero byte
        if (value.empty() || value.size() + offset >= sizeof sa.sun_path) return false;
        sa = {};
        sa.sun_family = AF_UNIX;
        std::memcpy(sa.sun_path + offset, value.data(), value.size());
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + value.size() + (offset ? 0 : 1));
        return true;
    }
    return false;
}

}  // namespace

DBusClient::~DBusClient() { Close(); }

void DBusClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string DBusClient::SystemBusAddress() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address && *address ? address : "unix:path=/var/run/dbus/system_bus_socket";
}

DBusClient::Outcome DBusClient::Connect(const std::string& address, Clock::time_point deadline) {
    Close();
    std::stringstream entries(address);
    for (std::string entry; fd_ < 0 && std::getline(entries, entry, ';');) {
        sockaddr_un sa;
        socklen_t length = 0;
        if (!SocketAddress(entry, sa, length)) continue;
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return Outcome::Failed;
        // A local socket connects at once or not at all.
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), length) != 0 && errno != EINPROGRESS) Close();
    }
    if (fd_ < 0) return Outcome::Failed;
    const Outcome authenticated = Authenticate(deadline);
    if (authenticated != Outcome::Done) return Close(), authenticated;
    const Reply hello = Send({"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello", {}},
                             deadline);
    if (hello.outcome != Outcome::Done) Close();
    return hello.outcome == Outcome::ErrorReply ? Outcome::Failed : hello.outcome;
}

DBusClient::Outcome DBusClient::Authenticate(Clock::time_point deadline) {
    std::string uid = std::to_string(::getuid()), hex;
    for (unsigned char c : uid) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    if (!WriteAll(std::string(1, '\0') + "AUTH EXTERNAL " + hex + "\r\n", deadline))
        return timedOut_ ? Outcome::TimedOut : Outcome::Failed;
    std::string line;
    while (line.size() < 512 && (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)) {
        if (!ReadExact(line, 1, deadline)) return timedOut_ ? Outcome::TimedOut : Outcome::Failed;
    }
    if (line.rfind("OK ", 0) != 0 || !WriteAll("BEGIN\r\n", deadline))
        return timedOut_ ? Outcome::TimedOut : Outcome::Failed;
    return Outcome::Done;
}

DBusClient::Reply DBusClient::Send(const Call& call, Clock::time_point deadline) {
    Reply reply;
    const auto failed = [&] {
        reply.outcome = timedOut_ ? Outcome::TimedOut : Outcome::Failed;
        Close();  // a half-read message leaves the stream unusable
        return reply;
    };
    if (fd_ < 0) return reply;
    const std::uint32_t serial = ++serial_;
    if (!WriteAll(Marshal(call, serial), deadline)) return failed();
    for (;;) {  // signals and other replies are passed over
        std::string message;
        if (!ReadExact(message, kFixedHeader, deadline)) return failed();
        std::uint32_t bodyLength = 0, fieldsLength = 0;
        std::memcpy(&bodyLength, message.data() + 4, 4);
        std::memcpy(&fieldsLength, message.data() + 12, 4);
        if (message[0] != 'l' || bodyLength > kLargestMessage || fieldsLength > kLargestMessage) return failed();
        const std::size_t bodyStart = (kFixedHeader + fieldsLength + 7) / 8 * 8;
        if (!ReadExact(message, bodyStart + bodyLength - kFixedHeader, deadline)) return failed();

        Reader fields(message, kFixedHeader);
        std::uint32_t replySerial = 0;
        std::string signature;
        while (fields.Ok() && fields.At() < kFixedHeader + fieldsLength) {
            fields.Align(8);
            const std::uint8_t code = fields.Byte();
            const std::string type = fields.Signature();
            if (type == "u") {
                const std::uint32_t v = fields.U32();
                if (code == kFieldReplySerial) replySerial = v;
            } else if (type == "s" || type == "o") {
                const std::string v = fields.String();
                if (code == kFieldErrorName) reply.errorName = v;
            } else if (type == "g") {
                const std::string v = fields.Signature();
                if (code == kFieldSignature) signature = v;
            } else {
                return failed();  // no other field types are defined
            }
        }
        const auto type = static_cast<std::uint8_t>(message[1]);
        if (!fields.Ok()) return failed();
        if (replySerial != serial || (type != kMethodReturn && type != kError)) {
            reply.errorName.clear();
            continue;
        }
        reply.outcome = type == kError ? Outcome::ErrorReply : Outcome::Done;
        if (type == kMethodReturn) reply.integer = FirstInteger(Reader(message, bodyStart), signature);
        return reply;
    }
}

bool DBusClient::WriteAll(const std::string& bytes, Clock::time_point deadline) {
    timedOut_ = false;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, Remaining(deadline)) == 0) return timedOut_ = true, false;
    }
    return true;
}

bool DBusClient::ReadExact(std::string& into, std::size_t count, Clock::time_point deadline) {
    timedOut_ = false;
    const std::size_t end = into.size() + count;
    while (into.size() < end) {
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, end - into.size()), 0);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, Remaining(deadline)) == 0) return timedOut_ = true, false;
    }
    return true;
}

}  // namespace core
