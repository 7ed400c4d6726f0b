// Every handler of the windows runs behind a guard: an error escaping it is
// handed to the application's error presentation and the event loop goes on.
#pragma once

#include <exception>
#include <utility>

namespace window {

// Presents the error currently being handled (called inside a catch block).
using ErrorPresenter = void (*)();

// Installs the presenter; returns the previous one. Until one is installed,
// escaped errors are written to standard error.
ErrorPresenter SetErrorPresenter(ErrorPresenter presenter);

// Presents the error currently being handled; never throws.
void PresentEscapedError() noexcept;

template <class F>
auto Guarded(F f) {
    return [f = std::move(f)](auto&&...) {
        try {
            f();
        } catch (...) {
            PresentEscapedError();
        }
    };
}

}  // namespace window
