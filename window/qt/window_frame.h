// Where the window system does not behave as the windows need, on X11:
// - the toolkit learns the size of a window manager's frame only once the
//   manager has reported the frame extents, some time after the window is
//   shown, so an outer size applied at the first showing misses the frame;
// - the toolkit puts the program's name in place of an empty title.
// Elsewhere the frame is known when the window is shown, and titles are
// left as they are.
#pragma once

#include <functional>

#include <QMargins>

class QWidget;

namespace window {

// Calls `fit` with the frame's margins whenever the window manager reports
// the frame extents of the top-level `window`, and at a showing when they
// are already known. Not called while the window has no frame.
void OnFrameKnown(QWidget* window, std::function<void(QMargins frame)> fit);

// Keeps an empty title of the top-level `window` empty in what the window
// system holds, through every showing and title change.
void KeepEmptyTitleEmpty(QWidget* window);

}  // namespace window
