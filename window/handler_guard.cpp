#include "window/handler_guard.h"

#include <cstdio>

#include "core/platform/exception.h"

namespace window {
namespace {
void WriteToStderr() {
    try {
        throw;
    } catch (const core::EAbort&) {
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown error\n");
    }
}

ErrorPresenter g_presenter = &WriteToStderr;
}  // namespace

ErrorPresenter SetErrorPresenter(ErrorPresenter presenter) {
    ErrorPresenter previous = g_presenter;
    g_presenter = presenter ? presenter : &WriteToStderr;
    return previous;
}

void PresentEscapedError() noexcept {
    try {
        g_presenter();
    } catch (...) {
        // The presentation itself failed; nothing sensible is left to show.
    }
}

}  // namespace window
