// Opening files by name (UTF-8) for the whole-file readers and writers: in
// binary mode, not inherited by programs the process starts, and for reading
// without blocking on a FIFO. The descriptors are read, written and closed
// with the C library's read, write and close.
#pragma once

#include <string>

namespace core {

// A descriptor open for reading, or -1 with errno set.
int OpenFileForReading(const std::string& name);
// A descriptor of the file created or emptied for writing, or -1 with errno set.
int CreateFileForWriting(const std::string& name);

}  // namespace core
