// The mark by which the Windows installer and uninstaller see that the
// program or its companion runs: a named mutex held for the process's life.
// The name sits in the global namespace, so that an installer for all users
// sees a program run by another user in another session too; every user may
// open it, so that a second user's program shares it and it lasts while any
// of them runs. Where the global namespace is refused, the session's own
// name is used. The installer (packaging/windows/pumpdiag.nsi) looks for
// both names. On Linux a package upgrade replaces a running program's files
// without harm to it (the old ones live on until it ends): there is no mark.
#pragma once

namespace core {

inline constexpr wchar_t kRunningMarkName[] = L"Global\\pumpdiag-running";
inline constexpr wchar_t kRunningMarkSessionName[] = L"Local\\pumpdiag-running";

// Takes the mark; the system lets it go when the process ends. A mark that
// cannot be had keeps nothing from starting.
void HoldRunningMark();

}  // namespace core
