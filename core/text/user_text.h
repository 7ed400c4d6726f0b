// Text files as users save them. The program's files ship in Windows-1251,
// but an editor may save them as UTF-8 (with or without a byte-order mark)
// or as UTF-16 with a byte-order mark; each is read as what it is.
#pragma once

#include <string>
#include <string_view>

namespace core {

// The file's bytes as UTF-8 text, ending at the first zero character:
// - a UTF-16 (LE or BE) or UTF-8 byte-order mark: that encoding, mark dropped;
// - no mark, valid UTF-8 with Cyrillic in it that does not read as plausible
//   Windows-1251: UTF-8;
// - anything else: Windows-1251.
std::string DecodeUserText(std::string_view bytes);

// Whether the bytes begin with a UTF-16 byte-order mark: then zero bytes are
// half of the text, not its end.
bool StartsWithUtf16Mark(std::string_view bytes);

}  // namespace core
