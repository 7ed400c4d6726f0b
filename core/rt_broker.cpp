#include "core/rt_broker.h"

#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace core {
namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr int kCallTimeoutMs = 500;

// The few D-Bus library entry points the request needs, taken from the
// shared library at run time. Structures the library fills in are given
// room of their documented size (DBusError) or more (DBusMessageIter).
struct DBusError {
    const char* name;
    const char* message;
    unsigned int flags;
    void* padding;
};
struct DBusMessageIter {
    alignas(void*) unsigned char storage[128];
};
struct DBusConnection;
struct DBusMessage;

constexpr int kSystemBus = 1;
constexpr int kTypeInvalid = 0;
constexpr int kTypeInt32 = 'i';
constexpr int kTypeUInt32 = 'u';
constexpr int kTypeInt64 = 'x';
constexpr int kTypeUInt64 = 't';
constexpr int kTypeString = 's';
constexpr int kTypeVariant = 'v';

struct DBusLibrary {
    void (*errorInit)(DBusError*);
    void (*errorFree)(DBusError*);
    DBusConnection* (*busGetPrivate)(int, DBusError*);
    void (*setExitOnDisconnect)(DBusConnection*, unsigned);
    void (*connectionClose)(DBusConnection*);
    void (*connectionUnref)(DBusConnection*);
    DBusMessage* (*newMethodCall)(const char*, const char*, const char*, const char*);
    unsigned (*appendArgs)(DBusMessage*, int, ...);
    DBusMessage* (*sendWithReplyAndBlock)(DBusConnection*, DBusMessage*, int, DBusError*);
    void (*messageUnref)(DBusMessage*);
    unsigned (*iterInit)(DBusMessage*, DBusMessageIter*);
    void (*iterRecurse)(DBusMessageIter*, DBusMessageIter*);
    int (*iterArgType)(DBusMessageIter*);
    void (*iterGetBasic)(DBusMessageIter*, void*);

    // Null when the library or one of its entry points is missing.
    static const DBusLibrary* Load() {
        static const DBusLibrary* loaded = [] () -> const DBusLibrary* {
            void* handle = dlopen("libdbus-1.so.3", RTLD_NOW | RTLD_LOCAL);
            if (!handle) return nullptr;
            static DBusLibrary lib;
            bool complete = true;
            auto take = [&](auto& entry, const char* name) {
                entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(handle, name));
                complete = complete && entry != nullptr;
            };
            take(lib.errorInit, "dbus_error_init");
            take(lib.errorFree, "dbus_error_free");
            take(lib.busGetPrivate, "dbus_bus_get_private");
            take(lib.setExitOnDisconnect, "dbus_connection_set_exit_on_disconnect");
            take(lib.connectionClose, "dbus_connection_close");
            take(lib.connectionUnref, "dbus_connection_unref");
            take(lib.newMethodCall, "dbus_message_new_method_call");
            take(lib.appendArgs, "dbus_message_append_args");
            take(lib.sendWithReplyAndBlock, "dbus_connection_send_with_reply_and_block");
            take(lib.messageUnref, "dbus_message_unref");
            take(lib.iterInit, "dbus_message_iter_init");
            take(lib.iterRecurse, "dbus_message_iter_recurse");
            take(lib.iterArgType, "dbus_message_iter_get_arg_type");
            take(lib.iterGetBasic, "dbus_message_iter_get_basic");
            return complete ? &lib : nullptr;
        }();
        return loaded;
    }
};

// One private connection to the system bus for one request.
class BrokerCall {
public:
    explicit BrokerCall(const DBusLibrary& lib) : lib_(lib) {
        DBusError error;
        lib_.errorInit(&error);
        connection_ = lib_.busGetPrivate(kSystemBus, &error);
        lib_.errorFree(&error);
        if (connection_) lib_.setExitOnDisconnect(connection_, 0);
    }
    ~BrokerCall() {
        if (!connection_) return;
        lib_.connectionClose(connection_);
        lib_.connectionUnref(connection_);
    }
    BrokerCall(const BrokerCall&) = delete;
    BrokerCall& operator=(const BrokerCall&) = delete;

    bool Connected() const { return connection_ != nullptr; }

    // Reads one integer property of the broker; `fallback` when it cannot.
    std::int64_t Property(const char* name, std::int64_t fallback) {
        DBusMessage* call = lib_.newMethodCall(kService, kPath, kProperties, "Get");
        if (!call) return fallback;
        const char* interface = kService;
        lib_.appendArgs(call, kTypeString, &interface, kTypeString, &name, kTypeInvalid);
        DBusMessage* reply = Send(call);
        if (!reply) return fallback;
        std::int64_t value = fallback;
        DBusMessageIter top, inner;
        if (lib_.iterInit(reply, &top) && lib_.iterArgType(&top) == kTypeVariant) {
            lib_.iterRecurse(&top, &inner);
            const int type = lib_.iterArgType(&inner);
            if (type == kTypeInt32 || type == kTypeUInt32) {
                std::int32_t v = 0;
                lib_.iterGetBasic(&inner, &v);
                value = v;
            } else if (type == kTypeInt64 || type == kTypeUInt64) {
                std::int64_t v = 0;
                lib_.iterGetBasic(&inner, &v);
                value = v;
            }
        }
        lib_.messageUnref(reply);
        return value;
    }

    bool MakeThreadRealtime(pid_t tid, int priority) {
        DBusMessage* call = lib_.newMethodCall(kService, kPath, kService, "MakeThreadRealtime");
        if (!call) return false;
        std::uint64_t thread = static_cast<std::uint64_t>(tid);
        std::uint32_t level = static_cast<std::uint32_t>(priority);
        lib_.appendArgs(call, kTypeUInt64, &thread, kTypeUInt32, &level, kTypeInvalid);
        DBusMessage* reply = Send(call);
        if (!reply) return false;
        lib_.messageUnref(reply);
        return true;
    }

private:
    // Sends and frees `call`; the reply, or null on any error reply.
    DBusMessage* Send(DBusMessage* call) {
        DBusError error;
        lib_.errorInit(&error);
        DBusMessage* reply = lib_.sendWithReplyAndBlock(connection_, call, kCallTimeoutMs, &error);
        lib_.errorFree(&error);
        lib_.messageUnref(call);
        return reply;
    }

    const DBusLibrary& lib_;
    DBusConnection* connection_ = nullptr;
};

// The broker refuses a process whose real-time threads could run forever
// without blocking: it wants RLIMIT_RTTIME set, and no higher than it allows.
bool LimitRealTimeCpu(std::int64_t maxMicroseconds) {
    if (maxMicroseconds <= 0) return false;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    const auto wanted = static_cast<rlim_t>(maxMicroseconds);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= wanted) return true;
    limit.rlim_cur = limit.rlim_max = wanted;
    return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

}  // namespace

bool AskBrokerForRealTime(pid_t tid, int priority) {
    static std::mutex serialised;  // one conversation at a time
    const DBusLibrary* lib = DBusLibrary::Load();
    if (!lib) return false;
    std::lock_guard lock(serialised);
    BrokerCall call(*lib);
    if (!call.Connected()) return false;
    const std::int64_t maxPriority = call.Property("MaxRealtimePriority", 0);
    if (maxPriority <= 0) return false;
    if (!LimitRealTimeCpu(call.Property("RTTimeUSecMax", 0))) return false;
    return call.MakeThreadRealtime(tid, static_cast<int>(std::min<std::int64_t>(priority, maxPriority)));
}

}  // namespace core
