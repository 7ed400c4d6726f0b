// port.ini as the window reads it: its text (decoded as users save it), the
// port name on its first line, and, when that port does not open, what is
// wrong with the file itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace window {

// The first line without the spaces and tabs that end it: editors leave them
// there unseen, and no port name ends in one.
std::string PortNameFromIni(std::string_view text);

// When port.ini cannot have named a port (it is empty, its first line is,
// or the name holds a control character or begins with a space), the line
// that says so and what to do, in the current language; else empty, and the
// device's own explanation stands. `file` is port.ini's name, for its folder.
std::string PortIniProblem(std::string_view text, const std::string& name, const std::string& file);

// Every English text PortIniProblem passes through the catalogs.
std::vector<std::string> PortIniTexts();

}  // namespace window
