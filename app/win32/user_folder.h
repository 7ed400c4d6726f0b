// The Start menu's way of starting the program: in the user's own working
// folder %LOCALAPPDATA%\pumpdiag, made and filled on the first start with
// caption.txt and the fault help texts in the user's language (Russian, or
// English from data\en) shipped in the data folder beside the program. A workshop may edit
// its copies: a file already there is never replaced. port.ini is the user's
// choice of port and is never made here.
#pragma once

#include <string>

namespace app::win32 {

// The argument the Start menu's shortcut passes.
inline constexpr wchar_t kUserFolderArgument[] = L"--user-folder";

// Makes and fills the folder, then makes it the current one. Returns an
// empty text, or what went wrong, for a box.
std::string EnterUserFolder();

}  // namespace app::win32
