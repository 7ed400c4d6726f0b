// Work handed to the GUI thread from any thread, run there in the order it was
// handed over, through a message to a window of the queue's own.
#pragma once

#include <functional>

namespace window::win32 {

// On the GUI thread, before anything is posted.
void StartGuiQueue();
// Runs `work` at once on the GUI thread; from another thread queues it behind
// the work queued before it. An error escaping it is presented.
void PostToGui(std::function<void()> work);

}  // namespace window::win32
