#include "app/about_lines.h"

namespace app {

// Two spaces between "was" and "written" and one at the end, as the dialog always had.
const char* AuthorshipLine() { return "Tool was  written by PD team "; }

const char* EditionLine() { return "Free workshop edition " PUMPDIAG_VERSION; }

}  // namespace app
