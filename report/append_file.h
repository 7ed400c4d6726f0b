// Appending a record to a shared text file so that it is written whole or not
// at all: the whole text goes out in one write to the file's end, under an
// exclusive lock held only for that write, so two programs appending at once
// never mix their lines.
#pragma once

#include <string>
#include <string_view>

namespace report {

// Appends `record` (a whole line, its end included) to the file at `path`,
// made with `head` first when it is new or empty. A file whose last line was
// cut gets a line end before the record, so the record starts a line of its
// own. Returns an empty text, or the system's reason for the failure.
std::string AppendRecord(const std::string& path, std::string_view head, std::string_view record);

// Makes the folder and the folders above it. Returns an empty text, or the
// system's reason for the failure.
std::string MakeFolders(const std::string& folder);

}  // namespace report
