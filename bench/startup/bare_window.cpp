// The baseline: a bare Qt Widgets window with one button, started, shown,
// clicked and closed, reporting the same figures as the program's probe.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.resize(610, 464);
    QPushButton button(QStringLiteral("Button"), &window);
    button.setGeometry(332, 24, 257, 33);
    window.show();
    QTimer::singleShot(0, [&] {
        const char* t0 = std::getenv("PD_T0_NS");
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::printf("shown_ms %.1f\n", t0 ? (now.tv_sec * 1e9 + now.tv_nsec - std::atof(t0)) / 1e6 : -1.0);
        button.click();
        QCoreApplication::quit();
    });
    const int rc = application.exec();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_kb %ld\n", usage.ru_maxrss);
    return rc;
}
