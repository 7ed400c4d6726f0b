// Whole-file text reading and writing by name, with the line-end rules of the
// program's text files: CR LF, a lone LF and a lone CR each end one line, and
// a zero byte ends the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Reads the file whole and returns its bytes up to the first zero byte.
// Raises EFOpenError "Cannot open file %s" (with `name`) when the file is
// missing, is not a regular readable file, or a read fails. When the text is
// longer than `maxBytes`, reading stops there and `*exceeded` is set (it must
// then be non-null); the result then holds the first `maxBytes` bytes.
std::string ReadWholeTextFile(const std::string& name, std::size_t maxBytes = static_cast<std::size_t>(-1),
                              bool* exceeded = nullptr);

// Creates or replaces the file with exactly `bytes`. Raises EFCreateError
// "Cannot create file %s" when the file cannot be created or written; the
// previous content is then left as it was where the platform allows.
void WriteWholeTextFile(const std::string& name, std::string_view bytes);

// Splits text into lines by the rules above; a final line end does not start
// another line ("a\r\n" is one line, "" is no line).
std::vector<std::string> SplitLines(std::string_view text);

// Every line end (CR LF, lone LF, lone CR) becomes CR LF.
std::string NormalizeLineEnds(std::string_view text);

}  // namespace core
