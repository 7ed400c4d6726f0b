// The About dialog's two lines of text, the same on both faces: the
// authorship line and the edition line, which ends with the program's version.
#pragma once

namespace app {

const char* AuthorshipLine();
const char* EditionLine();

}  // namespace app
