// The program's own pictures, drawn at run time.
#pragma once

#include <QImage>
#include <QPixmap>

namespace window {

// button1's eraser, 16 x 16: black outline, green body, a blue and white
// chequered top face, on white. The colour of the lower-left pixel is the
// transparent one, as for every picture on a button.
QImage EraserImage();
QPixmap EraserPicture();  // EraserImage with its transparent colour masked out

// The program icon, 32 x 32: the letters V and r in black on white.
QImage ProgramIconImage();

// The About dialog's logo, 127 x 127, on white: two words of lettering (the
// first red, the second black) above a desktop computer and a handheld device.
QImage LogoImage();

}  // namespace window
