// Prints the ini store's hash of its argument in this process, for the test
// that compares it across processes.
#include <cinttypes>
#include <cstdio>

#include "core/stores/store_ini_index.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::printf("%016" PRIx64 "\n", core::IniNameHash(argv[1]));
}
