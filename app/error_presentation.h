// Presentation of errors that escape a handler: the standard error box, the
// last-resort box for errors outside the program's error classes, and the
// start-up failure box.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace core {
class Exception;
}
namespace serial {
class TComponent;
}

namespace app {

// The application title from the program file's path: the part after the
// last "/", cut before its first ".", every character after the first in
// lower case ("/opt/PUMP.TOOL.EXE" gives "Pump").
std::string ApplicationTitleFromPath(const std::string& path);

// The title in force (set once at start-up; error boxes carry it).
const std::string& ApplicationTitle();
void SetApplicationTitle(std::string title);

// The message as the error box shows it: a "." is added when the last
// character compares greater than "." (so after letters, digits, ":" and any
// non-ASCII character, but not after ".", "!", ")", quotes or spaces).
std::string WithFinalPeriod(const std::string& message);

// The standard error box for `error`, titled with the application title.
void ShowErrorMessage(const core::Exception& error);

// Presents the error currently being handled; call only inside a catch
// block. EAbort is silent; our own errors get the standard box; anything
// else gets the last-resort box. Returns normally in every case.
void HandleUncaughtError() noexcept;

// The last-resort box for the error currently being handled, whatever its
// class: for errors that escape every handler. Call only inside a catch block.
void PresentFatalError() noexcept;

// The port component's application error handler: presents `error` as an
// escaped error, on the GUI thread whichever thread reports it.
void PresentComponentError(serial::TComponent* sender, std::exception_ptr error);

// Platform: runs `action` on the GUI thread: at once when called there on
// Qt, queued to it otherwise (and always on Windows).
void RunOnGuiThread(std::function<void()> action);
// Platform: releases the mouse from a window that holds it, abandoning a
// half-finished drag or button press.
void CancelMouseCapture();
// Platform: the last-resort box for an error of `className` raised at
// `address` (a code address in the program file).
void ShowLastResort(const std::string& className, const void* address, const std::string& message);

// Text of the last-resort box: "Exception %s in module %s at %p.\n%s%s".
std::string LastResortText(const std::string& className, const std::string& module, std::uintptr_t address,
                           const std::string& message);

// Text of the box shown when the program's modules fail to start.
std::string StartupFailureText(std::uintptr_t address);
constexpr int kStartupFailureExitCode = 217;

}  // namespace app
