// Starts the program as its main does, reports the time from process start
// (PD_T0_NS, the launcher's CLOCK_REALTIME in nanoseconds) to the main
// window shown, then clicks through a whole diagnosis against the port named
// in port.ini and reports the peak resident memory. With PD_HOLD_MS set it
// stops after the fault read and keeps the window that long instead.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

#include <QTimer>

#include "app/application.h"
#include "app/startup.h"
#include "window/qt/form1.h"

namespace {
double MsSinceLaunch() {
    const char* t0 = std::getenv("PD_T0_NS");
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const double nowNs = now.tv_sec * 1e9 + now.tv_nsec;
    return t0 ? (nowNs - std::atof(t0)) / 1e6 : -1;
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Polls `done` on the event loop, then runs `next`; gives up after 30 s.
void When(std::function<bool()> done, std::function<void()> next, int left = 3000) {
    if (done()) return next();
    if (left == 0) {
        std::fprintf(stderr, "diagnosis did not finish\n");
        QCoreApplication::exit(1);
        return;
    }
    QTimer::singleShot(10, [=] { When(done, next, left - 1); });
}
}  // namespace

int main(int argc, char** argv) {
    app::StartModules();
    int rc = 0;
    {
        app::TApplication application(argc, argv);
        app::CreateWindows();
        using window::Form1;
        QTimer::singleShot(0, [] {
            std::printf("shown_ms %.1f\n", MsSinceLaunch());
            Form1->Button3->click();
            When([] { return Form1->Button4->isEnabled(); }, [] {
                Form1->Button4->click();
                When([] { return !Form1->FaultButton(0x5A)->toolTip().isEmpty(); }, [] {
                    Form1->FaultButton(0x5A)->click();
                    // PD_HOLD_MS: keep the window after the fault read, for a screenshot.
                    if (const char* hold = std::getenv("PD_HOLD_MS")) {
                        std::printf("holding\n");
                        std::fflush(stdout);
                        QTimer::singleShot(std::atoi(hold), [] { QCoreApplication::quit(); });
                        return;
                    }
                    Form1->button1->click();
                    When([] { return Form1->FaultButton(0x5A)->isHidden(); }, [] { QCoreApplication::quit(); });
                });
            });
        });
        rc = application.exec();
        std::printf("peak_rss_kb %ld\n", PeakRssKb());
        app::DestroyWindows();
    }
    app::EndModules();
    return rc;
}
