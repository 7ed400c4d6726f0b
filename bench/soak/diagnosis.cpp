#include "diagnosis.h"

#include <dirent.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>

#include "core/realtime/thread_priority.h"
#include "derailment.h"
#include "event_loop.h"
#include "port_session.h"
#include "serial/device/sim_device.h"
#include "timed_port.h"
#include "window/qt/memo_text.h"
#include "window/port_component.h"

namespace soak {

namespace {

using namespace std::chrono_literals;
using protocol::Control;
using protocol::PumpProtocol;
using testing_support::EventLoop;
using testing_support::LoopView;
using testing_support::RecordingView;

// The window's port, engine and GUI loop, with the engine's port operations
// passing through the timing decorator; opened as the window's creation does.
// (The tests' port session fixes the engine's port to its own component, so
// its parts are put together here around the decorator.)
//
// Threads: the GUI loop applies every effect to `model` and runs the
// handlers; the monitoring thread enters the engine through OnRxChar; the
// benchmark's thread reads `model` through its locked getters, and its log
// only through OnGui.
class Session {
public:
    explicit Session(const std::string& portName) {
        view.Attach(engine);
        com->OnRxChar = [this](int count) {
            seam.ArrivalBegins();
            engine.Rx(count);
        };
        gui.Call([&] { testing_support::OpenAsTheWindowDoes(engine, *com, portName); });
    }
    ~Session() {
        gui.Call([&] { com->ClosePort(); });
    }
    template <typename F>
    auto OnGui(F read) {
        decltype(read()) result{};
        gui.Call([&] { result = read(); });
        return result;
    }

    RecordingView model;
    EventLoop gui;
    LoopView view{gui, model};
    std::unique_ptr<window::PortComponent> com = window::MakeComPort();
    TimedPort seam{*com};
    PumpProtocol engine{seam, view};
};

std::vector<int> FaultCodes(const std::vector<pumpsim::FaultRecord>& faults) {
    std::vector<int> codes;
    for (const auto& f : faults) codes.push_back(f.code);
    std::sort(codes.begin(), codes.end());
    return codes;
}

// The help text of a fault button, read as the window reads it.
bool HelpTextReads(const std::string& dataDir, int code) {
    char name[16];
    std::snprintf(name, sizeof name, "%X.txt", code);
    return !window::ReadMemoFile(dataDir + "/" + name).isEmpty();
}

// Waits while the link is up: the watchdog has not given the start button back.
bool LinkHolds(Session& s, std::chrono::milliseconds span) {
    return !testing_support::WaitFor([&] { return s.model.Enabled(Control::Button3); }, span);
}

}  // namespace

int RealTimeThreads() {
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return 0;
    while (const dirent* task = readdir(tasks)) {
        const int tid = std::atoi(task->d_name);
        if (tid <= 0) continue;
        const int policy = sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK;
        count += policy == SCHED_FIFO || policy == SCHED_RR;
    }
    closedir(tasks);
    return count;
}

DiagnosisResult RunDiagnosis(const std::string& port, bool simulated, const std::string& dataDir,
                             double holdSeconds) {
    DiagnosisResult result;
    std::unique_ptr<Session> s;
    try {
        s = std::make_unique<Session>(port);
    } catch (const std::exception& e) {
        result.failedStep = "open the port";
        result.cause = e.what();
        return result;
    }
    const auto ident = pumpsim::PumpConfig::DefaultIdentData();
    const std::vector<int> faults = FaultCodes(pumpsim::PumpConfig{}.faults);
    std::size_t logMark = 0;
    auto statusShownSinceMark = [&] {
        return s->OnGui([&] {
            return std::find(s->model.log.begin() + static_cast<long>(logMark), s->model.log.end(), "status=1") !=
                   s->model.log.end();
        });
    };
    auto click = [&](void (PumpProtocol::*handler)()) { s->gui.Call([&] { (s->engine.*handler)(); }); };

    struct Step {
        const char* name;
        std::function<void()> act;
        std::function<bool()> done;
        std::chrono::milliseconds limit;
    };
    const Step steps[] = {
        {"start",
         [&] {
             s->gui.Call([&] {
                 // as the window's handler does: the wake-up pattern is timed at real-time priority where granted
                 core::ScopedRealTimePriority onTime;
                 result.wakeUpRaised = core::RunsAtRealTimePriority();
                 s->engine.Button3Click();
                 result.wakeUpRaisedAtEnd = core::RunsAtRealTimePriority();
             });
         },
         [] { return true; }, 0ms},
        {"identification", [] {},
         [&] {
             return s->model.Enabled(Control::Button4) && s->model.Field(protocol::IdentField::OrName) == ident[0];
         },
         8s},
        {"read faults", [&] { click(&PumpProtocol::Button4Click); },
         [&] {
             auto shown = s->model.VisibleButtons();
             return shown == faults && !s->model.Hint(faults.back()).empty();
         },
         5s},
        {"help text", [] {}, [&] { return s->OnGui([&] { return HelpTextReads(dataDir, faults.front()); }); }, 0ms},
        {"clear", [&] { click(&PumpProtocol::Button1Click); },
         [&] {
             auto line = simulated ? serial::device::CurrentSimulatedLine() : nullptr;
             return s->model.VisibleButtons().empty() && (!line || line->FaultMemory().empty());
         },
         5s},
        {"read again",
         [&] {
             logMark = s->OnGui([&] { return s->model.log.size(); });
             click(&PumpProtocol::Button4Click);
         },
         [&] { return statusShownSinceMark() && s->model.VisibleButtons().empty(); }, 5s},
        {"link holds", [] {},
         [&] { return LinkHolds(*s, std::chrono::milliseconds(static_cast<long>(holdSeconds * 1000))); }, 0ms},
    };

    for (const Step& step : steps) {
        try {
            step.act();
            if (!testing_support::WaitFor(step.done, step.limit)) {
                result.failedStep = step.name;
                break;
            }
        } catch (const std::exception& e) {
            result.failedStep = step.name;
            result.cause = e.what();
            break;
        }
    }

    // What the line shows, on the line's own clock where it keeps a trace.
    result.realTimeThreads = RealTimeThreads();
    const std::vector<SeamOp> ops = s->seam.Ops();
    result.pollIntervals = PollIntervals(ops);
    std::string cause;
    if (auto line = simulated ? serial::device::CurrentSimulatedLine() : nullptr) {
        const auto trace = line->Trace();
        double offset = 0;
        auto lineBreak = std::find_if(trace.begin(), trace.end(),
                                      [](const auto& e) { return e.kind == pumpsim::TraceKind::BreakOn; });
        auto seamBreak = std::find_if(ops.begin(), ops.end(), [](const auto& op) { return op.kind == SeamOp::BreakOn; });
        if (lineBreak != trace.end() && seamBreak != ops.end()) offset = lineBreak->timeMs - seamBreak->startMs;
        cause = ExplainDerailment(trace, Shifted(ops, offset), s->seam.NowMs() + offset);
    } else {
        cause = ExplainDerailment(TesterSideTrace(ops), ops, s->seam.NowMs());
    }
    if (!cause.empty() && result.failedStep.empty()) result.failedStep = "link holds";
    if (!cause.empty()) result.cause = result.cause.empty() ? cause : result.cause + "; " + cause;
    if (!result.failedStep.empty() && result.cause.empty()) result.cause = "the line follows the rules and still runs";
    result.ok = result.failedStep.empty();
    return result;
}

}  // namespace soak
