#include "app/before_start.h"

#include <cstdlib>
#include <string_view>

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace app {
namespace {
bool Empty(const char* name) {
    const char* value = std::getenv(name);
    return !value || !*value;
}

// QT_QPA_PLATFORM may list several platforms, separated by ';', tried in turn.
bool NeedsDisplay(std::string_view platforms) {
    while (!platforms.empty()) {
        const auto end = platforms.find(';');
        const std::string_view platform = platforms.substr(0, end);
        if (!platform.empty() && !platform.starts_with("xcb") && !platform.starts_with("wayland")) return false;
        if (end == std::string_view::npos) break;
        platforms.remove_prefix(end + 1);
    }
    return true;
}
}  // namespace

bool DisplayMissing() {
    if (!Empty("DISPLAY") || !Empty("WAYLAND_DISPLAY")) return false;
    const char* platforms = std::getenv("QT_QPA_PLATFORM");
    return !platforms || NeedsDisplay(platforms);
}

int ShowFolderError(int argc, char** argv, const char* text) {
    QApplication application(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("pumpdiag"), QString::fromLocal8Bit(text));
    return 1;
}

}  // namespace app
