#include <cstdio>
#include <cstdlib>

#include "app/before_start.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    // The launcher's folder error goes to standard error as well, where a
    // start from a terminal shows it even without a display.
    const char* folderError = std::getenv(app::kFolderErrorVariable);
    if (folderError) std::fprintf(stderr, "pumpdiag: %s\n", folderError);
    // The toolkit would abort without a display, with advice that does not apply.
    if (app::DisplayMissing()) {
        std::fprintf(stderr, "pumpdiag: %s\n", app::kNoDisplayMessage);
        return 1;
    }
    if (folderError) return app::ShowFolderError(argc, argv, folderError);
    return app::RunProgram(argc, argv);
}
