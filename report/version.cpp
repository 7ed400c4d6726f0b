#include "report/diagnosis.h"

namespace report {

std::string ProgramVersion() { return PUMPDIAG_VERSION; }

}  // namespace report
