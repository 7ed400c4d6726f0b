// The second line of a file error: the folder the file was looked for in and
// why it could not be opened or created, in the current language ("In the
// folder C:\Users\…\pumpdiag: there is no such file.").
#pragma once

#include <string>

namespace core {

// The folder a file of this name is in (the working folder for a bare
// name), cut to a width a box can show.
std::string FolderOfFile(const std::string& name);

// `error` is the errno of the failed opening, or 0 when the name opened but
// is not an ordinary file.
std::string FileFailureLine(const std::string& name, int error, bool creating);

// The error's first line as the box shows it, followed by the second line.
std::string FileErrorMessage(const std::string& firstLine, const std::string& name, int error, bool creating);

}  // namespace core
