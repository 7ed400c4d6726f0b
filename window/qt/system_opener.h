// Opening a file or folder with the desktop's opener (xdg-open), its answer
// awaited without holding the window: the opener's exit status, or, when it
// is still running after kOpenerAnswerMs (an opener that stays with the
// program it started), taken as opened.
//
// Threads: the GUI thread only.
#pragma once

#include <functional>

#include <QObject>
#include <QString>

namespace window {

class SystemOpener : public QObject {
public:
    static constexpr int kOpenerAnswerMs = 5000;

    explicit SystemOpener(QObject* parent = nullptr) : QObject(parent) {}
    // Openers still running are stopped, their answers dropped.
    ~SystemOpener() override;

    // `answered` runs once, from the event loop: true when opened.
    void Open(const QString& path, std::function<void(bool opened)> answered);
};

}  // namespace window
