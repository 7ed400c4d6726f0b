#include <cstdlib>

#include "report/journal_keeper.h"

namespace report {

std::string StateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/pumpdiag";
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.local/state/pumpdiag" : "";
}

}  // namespace report
