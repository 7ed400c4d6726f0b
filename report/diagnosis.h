// What one diagnosis found, as the journal records it and the report prints
// it. Texts are UTF-8.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "report/local_time.h"

namespace report {

struct Fault {
    int code = 0;     // 0x50 .. 0x5E
    int counter = 0;  // the pump's error counter
    std::string help;  // the first paragraph of its help text; empty without one
};

struct FaultRead {
    bool done = false;
    std::vector<Fault> faults;  // empty: no faults stored
};

// The identification fields in the window's order of labels.
enum IdentSlot { kBoschNumber, kIdNumber, kOriginalNumber, kSerialNumber, kIdentSlots };

struct Diagnosis {
    LocalTime time;  // of the identification
    std::string port;
    bool identified = false;
    std::array<std::string, kIdentSlots> identification;
    FaultRead faults;        // the last read before any erase
    bool erased = false;
    LocalTime erasedAt;
    FaultRead afterErase;    // a read after the erase
    // Why the link failed last, as the line showed it: a stable word and
    // the sentence the user read; empty while it has not failed.
    std::string failureCause;
    std::string failureText;
    std::string version;     // the program's
};

// The program's version, as the build names it.
std::string ProgramVersion();

}  // namespace report
