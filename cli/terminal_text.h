// Text from the pump on a terminal: its control characters would move the
// cursor, set the title or forge report lines, so they are shown escaped.
#pragma once

#include <string>

namespace cli {

// `text` (UTF-8) with backslash, the C0 and C1 control characters and DEL
// written as \\, \r, \n, \t or \xHH, and bytes that are not UTF-8 as \xHH;
// everything printable, Cyrillic included, stays as it is.
std::string ForTerminal(const std::string& text);

}  // namespace cli
