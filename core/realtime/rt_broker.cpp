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
// The broker counts each user's requests over this window and refuses those
// beyond its burst limit until the window has passed.
constexpr auto kBurstWindow = std::chrono::seconds(20);
// A refused request is asked again this many times over the window that
// follows the refusal, the last time when the window has surely passed.
constexpr int kAsksAfterRefusal = 4;

struct Request {
    enum class State { Queued, Asked, Granted, Refused, Waiting };
    pid_t tid;
    int priority;
    State state = State::Queued;
    NoRealTime why = NoRealTime::None;  // with Refused and Waiting
    bool withdrawn = false;             // a grant that still comes is undone
};
using RequestPtr = std::shared_ptr<Request>;

// Members and the threads that use them:
//   lock_ guards every member but bus_ and maxPriority_
//   bus_, maxPriority_                  the worker thread only
class Broker {
public:
    static Broker& Instance() {
        static Broker* broker = new Broker;  // never destroyed: the worker may outlive main
        return *broker;
    }

    BrokerOutcome Ask(pid_t tid, int priority, Clock::duration patience) {
        std::unique_lock lock(lock_);
        const auto now = Clock::now();
        RequestPtr request = Outstanding(tid);
        if (!request) {
            if (roundEnd_ && now >= *roundEnd_ && waiting_.empty()) roundEnd_.reset();
            if (roundEnd_) {
                // The broker's window is spent: asked with the refused ones.
                request = std::make_shared<Request>(Request{tid, priority, Request::State::Waiting, NoRealTime::Refused});
                waiting_.push_back(request);
                changed_.notify_all();
                return Outcome(*request);
            }
            if (now < holdUntil_) return {BrokerAnswer::NotGranted, holdReason_};
            request = std::make_shared<Request>(Request{tid, priority});
            queue_.push_back(request);
            if (!StartWorker()) return Outcome(*request);
            changed_.notify_all();
        }
        // A step already slower than a thread's patience: do not wait behind it.
        if (busySince_ && (slowStep_ || now - *busySince_ > kBrokerPatience)) return Outcome(*request);
        if (patience > Clock::duration::zero()) {
            changed_.wait_until(lock, now + patience, [&] { return Answered(*request); });
            if (!Answered(*request)) slowStep_ = busySince_.has_value();
        }
        return Outcome(*request);
    }

    void SetRetryInterval(Clock::duration interval) {
        std::lock_guard lock(lock_);
        retryInterval_ = interval;
    }

    void Withdraw(pid_t tid) {
        std::lock_guard lock(lock_);
        const auto of = [&](const RequestPtr& request) { return request->tid == tid; };
        std::erase_if(queue_, of);
        std::erase_if(waiting_, of);
        if (inFlight_ && inFlight_->tid == tid) inFlight_->withdrawn = true;
    }

    BrokerFailures Failures() {
        std::lock_guard lock(lock_);
        return failures_;
    }

private:
    static bool Answered(const Request& request) {
        return request.state != Request::State::Queued && request.state != Request::State::Asked;
    }

    static BrokerOutcome Outcome(const Request& request) {
        if (request.state == Request::State::Granted) return {BrokerAnswer::Granted, NoRealTime::None};
        if (Answered(request)) return {BrokerAnswer::NotGranted, request.why};
        return {BrokerAnswer::Pending, NoRealTime::NoService};
    }

    // The request of `tid` still to be made or answered, if any. Called with lock_ held.
    RequestPtr Outstanding(pid_t tid) const {
        for (const auto* list : {&queue_, &waiting_})
            for (const RequestPtr& request : *list)
                if (request->tid == tid) return request;
        if (inFlight_ && inFlight_->tid == tid && !inFlight_->withdrawn) return inFlight_;
        return nullptr;
    }

    // Called with lock_ held.
    bool StartWorker() {
        if (workerStarted_) return true;
        try {
            std::thread([this] { Work(); }).detach();
        } catch (const std::system_error&) {
            Fail(NoRealTime::NoService);
            return false;
        }
        workerStarted_ = true;
        return true;
    }

    // Serves the queue for the life of the process, and asks again for the
    // refused requests while their round lasts.
    void Work() {
        std::unique_lock lock(lock_);
        for (;;) {
            if (roundEnd_ && !waiting_.empty()) {
                changed_.wait_until(lock, recheckAt_, [&] { return !queue_.empty(); });
                if (queue_.empty() && Clock::now() >= recheckAt_) {
                    // Sent again in order; a refusal of the first puts the rest back unasked.
                    queue_.insert(queue_.begin(), waiting_.begin(), waiting_.end());
                    waiting_.clear();
                    for (const RequestPtr& request : queue_) request->state = Request::State::Queued;
                }
            } else {
                changed_.wait(lock, [&] { return !queue_.empty() || (roundEnd_ && !waiting_.empty()); });
            }
            if (queue_.empty()) continue;
            if (!connected_) {
                busySince_ = Clock::now();
                lock.unlock();
                const NoRealTime settled = Settle();
                lock.lock();
                EndStep();
                if (settled != NoRealTime::None) {
                    Fail(settled);
                    continue;
                }
                connected_ = true;
            }
            if (queue_.empty()) continue;  // withdrawn meanwhile
            inFlight_ = queue_.front();
            queue_.pop_front();
            inFlight_->state = Request::State::Asked;
            busySince_ = Clock::now();
            lock.unlock();
            const auto reply = bus_.Send(MakeThreadRealtime(*inFlight_), Clock::now() + kStepLimit);
            lock.lock();
            EndStep();
            Conclude(inFlight_, reply);
            inFlight_.reset();
            changed_.notify_all();
        }
    }

    // Called with lock_ held.
    void Conclude(const RequestPtr& request, const DBusClient::Reply& reply) {
        switch (reply.outcome) {
            case DBusClient::Outcome::Done:
                everGranted_ = true;
                request->state = Request::State::Granted;
                if (request->withdrawn) LowerThread(request->tid);  // its raised scope has ended
                if (roundEnd_) {
                    // The broker's window has passed: the refused ones now, unasked ones after them.
                    roundEnd_.reset();
                    queue_.insert(queue_.begin(), waiting_.begin(), waiting_.end());
                    waiting_.clear();
                    for (const RequestPtr& next : queue_) next->state = Request::State::Queued;
                }
                return;
            case DBusClient::Outcome::ErrorReply:
                // A denial (the user's burst of requests is spent, or the
                // broker's policy) is asked again over the broker's window;
                // other errors concern this request only.
                if (reply.errorName == kAccessDenied) return Denied(request);
                Count(NoRealTime::Refused);
                request->state = Request::State::Refused;
                request->why = NoRealTime::Refused;
                return;
            case DBusClient::Outcome::TimedOut:
            case DBusClient::Outcome::Failed:
                // The client closed the connection.
                queue_.push_front(request);
                Fail(NoRealTime::NoService);
                return;
        }
    }

    // The broker denied `request`. While the window that began before the
    // denial may still run, the request waits, and with it every other one
    // not yet asked; a denial once that window has surely passed is final.
    // Called with lock_ held.
    void Denied(const RequestPtr& request) {
        Count(NoRealTime::Refused);
        const auto now = Clock::now();
        if (!roundEnd_) roundEnd_ = now + retryInterval_;
        if (now >= *roundEnd_) {
            queue_.push_front(request);
            Fail(NoRealTime::Refused);
            if (!everGranted_) DisarmRealTimeWatchdog();
            return;
        }
        recheckAt_ = std::min(now + retryInterval_ / kAsksAfterRefusal, *roundEnd_);
        if (!request->withdrawn) waiting_.push_back(request);
        for (const RequestPtr& next : queue_) waiting_.push_back(next);
        queue_.clear();
        for (const RequestPtr& next : waiting_) {
            next->state = Request::State::Waiting;
            next->why = NoRealTime::Refused;
        }
    }

    // Every waiting request fails for `why`, and new ones are not asked
    // until the broker's window has passed; then a new connection is made.
    // Called with lock_ held.
    void Fail(NoRealTime why) {
        if (connected_) bus_.Close();
        connected_ = false;
        holdUntil_ = Clock::now() + retryInterval_;
        holdReason_ = why;
        roundEnd_.reset();
        for (auto* list : {&queue_, &waiting_}) {
            for (const RequestPtr& request : *list) {
                request->state = Request::State::Refused;
                request->why = why;
                Count(why);
            }
            list->clear();
        }
        changed_.notify_all();
    }

    void Count(NoRealTime why) {
        ++failures_.count;
        failures_.last = why;
    }

    void EndStep() {
        busySince_.reset();
        slowStep_ = false;
    }

    // Connects anew and learns the broker's limits; the CPU-time limit is set
    // only once the broker is known to grant something. The worker only.
    NoRealTime Settle() {
        const auto step = [] { return Clock::now() + kStepLimit; };
        if (bus_.Connect(DBusClient::SystemBusAddress(), step()) != DBusClient::Outcome::Done)
            return NoRealTime::NoService;
        const auto maxPriority = bus_.Send(Property("MaxRealtimePriority"), step());
        if (maxPriority.outcome != DBusClient::Outcome::Done) return NoRealTime::NoService;
        const auto maxCpu = bus_.Send(Property("RTTimeUSecMax"), step());
        if (maxCpu.outcome != DBusClient::Outcome::Done) return NoRealTime::NoService;
        if (maxPriority.integer <= 0 || maxCpu.integer <= 0) return NoRealTime::Refused;
        if (!ArmRealTimeWatchdog(static_cast<rlim_t>(maxCpu.integer))) return NoRealTime::CpuLimit;
        maxPriority_ = static_cast<int>(std::min<std::int64_t>(maxPriority.integer, 99));
        return NoRealTime::None;
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
    bool connected_ = false;                 // the worker holds a settled connection
    Clock::time_point holdUntil_;            // no new request is made before
    NoRealTime holdReason_ = NoRealTime::None;
    Clock::duration retryInterval_ = kBurstWindow;
    std::optional<Clock::time_point> roundEnd_;  // a denial's window surely passes then
    Clock::time_point recheckAt_;            // the waiting requests are asked again then
    std::optional<Clock::time_point> busySince_;  // the worker's current step began
    bool slowStep_ = false;                       // a thread gave up waiting for it
    std::deque<RequestPtr> queue_;    // to be asked
    std::deque<RequestPtr> waiting_;  // denied, to be asked again at recheckAt_
    RequestPtr inFlight_;             // the request the worker is making
    bool workerStarted_ = false;
    bool everGranted_ = false;
    BrokerFailures failures_;
    DBusClient bus_;
    int maxPriority_ = 0;
};

}  // namespace

BrokerOutcome AskBrokerForRealTime(pid_t tid, int priority, std::chrono::milliseconds patience) {
    return Broker::Instance().Ask(tid, priority, patience);
}

void WithdrawBrokerRequest(pid_t tid) { Broker::Instance().Withdraw(tid); }

void SetBrokerRetryInterval(std::chrono::milliseconds interval) { Broker::Instance().SetRetryInterval(interval); }

BrokerFailures BrokerFailuresSoFar() { return Broker::Instance().Failures(); }

}  // namespace core
