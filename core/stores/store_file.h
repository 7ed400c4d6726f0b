// Whole-file reading and safe replacement for the settings stores. Both stores
// keep their whole content in memory and write the file anew after a change.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// A settings file larger than this is refused rather than read into memory.
constexpr std::size_t kMaxStoreFileBytes = std::size_t{16} << 20;

// Reads the file byte for byte (zero bytes included). Returns nothing when the
// file does not exist. Raises EFOpenError "Cannot open file %s" when it exists
// but is not a readable regular file or is larger than kMaxStoreFileBytes.
std::optional<std::string> ReadStoreFile(const std::string& name);

// Replaces the file's content with `bytes` through a temporary file in the
// same folder and a rename, so that a failed write leaves the old content
// whole. Keeps the permission bits of an existing file and writes through a
// symbolic link to its target. Returns false when the file could not be
// written; the old content is then unchanged.
bool ReplaceStoreFile(const std::string& name, std::string_view bytes);

}  // namespace core
