#include "core/realtime/rt_broker.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "core/realtime/dbus_client.h"
#include "core/realtime/realtime_watchdog.h"

namespace core {
namespace {

using Clock = DBusClient::Clock;

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
constexpr const char* kAccessDenied = "org.freedesktop.DBus.Error.AccessDenied";

// The worker's limit on each step: long enough for a broker that has to be
// started first, short enough that a stalled bus is given up.
constexpr auto kStepLimit = std::chrono::seconds(2);
// What a thread that asks waits at most; beyond it the bus counts as slow and
// the thread goes on at normal priority.
constexpr auto kPatience = std::chrono::milliseconds(25);

struct Request {
    enum class State { Queued, Asked, Granted, Refused };
    pid_t tid;
    int priority;
    State state = State::Queued;
    bool withdrawn = false;  // a grant that still comes is undone
};

// Members and the threads that use them:
//   lock_ guards answer_, busySince_, slowStep_, queue_, inFlight_, workerStarted_, everGranted_
//   bus_, maxPriority_                  the worker thread only
class Broker {
public:
    static Broker& Instance() {
        static Broker* broker = new Broker;  // never destroyed: the worker may outlive main
        return *broker;
    }

    BrokerAnswer Ask(pid_t tid, int priority) {
        std::unique_lock lock(lock_);
        const auto now = Clock::now();
        if (answer_ == Answer::NoBroker || answer_ == Answer::Refused) return BrokerAnswer::NotGranted;
        // A step already slower than a thread's patience: do not queue behind it.
        if (busySince_ && (slowStep_ || now - *busySince_ > kPatience)) return BrokerAnswer::NotGranted;
        auto request = std::make_shared<Request>(Request{tid, priority});
        queue_.push_back(request);
        if (!workerStarted_) {
            try {
                std::thread([this] { Work(); }).detach();
            } catch (const std::system_error&) {
                queue_.clear();
                answer_ = Answer::NoBroker;
                return BrokerAnswer::NotGranted;
            }
            workerStarted_ = true;
        }
        changed_.notify_all();
        changed_.wait_until(lock, now + kPatience, [&] {
            return request->state == Request::State::Granted || request->state == Request::State::Refused;
        });
        if (request->state == Request::State::Granted) return BrokerAnswer::Granted;
        if (request->state == Request::State::Refused) return BrokerAnswer::NotGranted;
        slowStep_ = busySince_.has_value();
        return BrokerAnswer::Pending;
    }

    void Withdraw(pid_t tid) {
        std::lock_guard lock(lock_);
        std::erase_if(queue_, [&](const auto& request) { return request->tid == tid; });
        if (inFlight_ && inFlight_->tid == tid) inFlight_->withdrawn = true;
    }

private:
    enum class Answer { Unknown, Granting, NoBroker, Refused };

    void Work() {
        std::unique_lock lock(lock_);
        for (;;) {
            changed_.wait(lock, [&] { return !queue_.empty(); });
            if (answer_ == Answer::Unknown) {
                busySince_ = Clock::now();
                lock.unlock();
                const Answer settled = Settle();
                lock.lock();
                EndStep();
                answer_ = settled;
            }
            if (answer_ != Answer::Granting) break;
            if (queue_.empty()) continue;  // withdrawn meanwhile
            inFlight_ = queue_.front();
            queue_.pop_front();
            inFlight_->state = Request::State::Asked;
            busySince_ = Clock::now();
            lock.unlock();
            const auto reply = bus_.Send(MakeThreadRealtime(*inFlight_), Clock::now() + kStepLimit);
            lock.lock();
            EndStep();
            Conclude(*inFlight_, reply);
            inFlight_.reset();
            changed_.notify_all();
            if (answer_ != Answer::Granting) break;
        }
        // The answer is final: every waiting request fails, later ones are not queued.
        bus_.Close();
        for (const auto& request : queue_) request->state = Request::State::Refused;
        queue_.clear();
        changed_.notify_all();
    }

    void EndStep() {
        busySince_.reset();
        slowStep_ = false;
    }

    // Connects and learns the broker's limits; the CPU-time limit is set only
    // once the broker is known to grant something.
    Answer Settle() {
        const auto step = [] { return Clock::now() + kStepLimit; };
        if (bus_.Connect(DBusClient::SystemBusAddress(), step()) != DBusClient::Outcome::Done) return Answer::NoBroker;
        const auto maxPriority = bus_.Send(Property("MaxRealtimePriority"), step());
        if (maxPriority.outcome != DBusClient::Outcome::Done) return Answer::NoBroker;
        const auto maxCpu = bus_.Send(Property("RTTimeUSecMax"), step());
        if (maxCpu.outcome != DBusClient::Outcome::Done) return Answer::NoBroker;
        if (maxPriority.integer <= 0 || maxCpu.integer <= 0) return Answer::Refused;
        if (!ArmRealTimeWatchdog(static_cast<rlim_t>(maxCpu.integer))) return Answer::Refused;
        maxPriority_ = static_cast<int>(std::min<std::int64_t>(maxPriority.integer, 99));
        return Answer::Granting;
    }

    // Called with lock_ held.
    void Conclude(Request& request, const DBusClient::Reply& reply) {
        switch (reply.outcome) {
            case DBusClient::Outcome::Done:
                everGranted_ = true;
                request.state = Request::State::Granted;
                if (request.withdrawn) LowerThread(request.tid);  // its raised scope has ended
                return;
            case DBusClient::Outcome::ErrorReply:
                request.state = Request::State::Refused;
                // A denial is the broker's policy for this user; other errors
                // (a burst of requests, say) pass.
                if (reply.errorName == kAccessDenied) {
                    answer_ = Answer::Refused;
                    if (!everGranted_) DisarmRealTimeWatchdog();
                }
                return;
            case DBusClient::Outcome::TimedOut:
            case DBusClient::Outcome::Failed:
                request.state = Request::State::Refused;
                answer_ = Answer::NoBroker;
                return;
        }
    }

    static DBusClient::Call Property(const char* name) {
        return {kService, kPath, "org.freedesktop.DBus.Properties", "Get", {std::string(kService), std::string(name)}};
    }

    DBusClient::Call MakeThreadRealtime(const Request& request) const {
        const auto level = static_cast<std::uint32_t>(std::min(request.priority, maxPriority_));
        return {kService, kPath, kService, "MakeThreadRealtime", {static_cast<std::uint64_t>(request.tid), level}};
    }

    std::mutex lock_;
    std::condition_variable changed_;
    Answer answer_ = Answer::Unknown;
    std::optional<Clock::time_point> busySince_;  // the worker's current step began
    bool slowStep_ = false;                       // a thread gave up waiting for it
    std::deque<std::shared_ptr<Request>> queue_;
    std::shared_ptr<Request> inFlight_;  // the request the worker is making
    bool workerStarted_ = false;
    bool everGranted_ = false;
    DBusClient bus_;
    int maxPriority_ = 0;
};

}  // namespace

BrokerAnswer AskBrokerForRealTime(pid_t tid, int priority) { return Broker::Instance().Ask(tid, priority); }

void WithdrawBrokerRequest(pid_t tid) { Broker::Instance().Withdraw(tid); }

}  // namespace core
