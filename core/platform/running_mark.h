// The mark by which the installer and the uninstaller see that the program
// runs: a named mutex held for the program's life. The name sits in the
// global namespace, so that an installer for all users sees the program run
// by another user in another session too; every user may open it, so that a
// second user's program shares it and it lasts while any of them runs.
// Where the global namespace is refused, the session's own name is used.
// The installer (packaging/windows/pumpdiag.nsi) looks for both names.
#pragma once

namespace app::win32 {

inline constexpr wchar_t kRunningMarkName[] = L"Global\\pumpdiag-running";
inline constexpr wchar_t kRunningMarkSessionName[] = L"Local\\pumpdiag-running";

// Takes the mark; the system lets it go when the process ends. A mark that
// cannot be had keeps nothing from starting.
void HoldRunningMark();

}  // namespace app::win32
