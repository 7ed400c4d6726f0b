#include "window/qt/system_opener.h"

#include <memory>

#include <QProcess>
#include <QTimer>

namespace window {

SystemOpener::~SystemOpener() {
    for (QProcess* process : findChildren<QProcess*>()) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

void SystemOpener::Open(const QString& path, std::function<void(bool opened)> answered) {
    auto* process = new QProcess(this);
    auto* patience = new QTimer(process);
    patience->setSingleShot(true);
    // The first of the exit, the failed start and the timer answers.
    auto pending = std::make_shared<std::function<void(bool)>>(std::move(answered));
    auto answer = [pending](bool opened) {
        if (!*pending) return;
        const std::function<void(bool)> once = std::move(*pending);
        *pending = nullptr;
        once(opened);
    };
    connect(process, &QProcess::finished, this, [process, answer](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        answer(status == QProcess::NormalExit && code == 0);
    });
    connect(process, &QProcess::errorOccurred, this, [process, answer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        answer(false);
    });
    connect(patience, &QTimer::timeout, this, [answer] { answer(true); });
    // Nothing is read from it: what it prints must not fill a pipe and stop it.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    patience->start(kOpenerAnswerMs);
    process->start(QStringLiteral("xdg-open"), {path});
}

}  // namespace window
