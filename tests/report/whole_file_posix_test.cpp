// A report written on a full disk: the file size limit stands in for the
// full disk (it fails the write the same way, part of the bytes written, and
// holds for root too); nothing new is left beside, an older file stays whole.
// A device is written in place.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/platform/exception.h"
#include "report/whole_file.h"

namespace {

namespace fs = std::filesystem;

// The process's file size limit at `bytes` while the object lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WholeFile, AFullDiskLeavesNoNewFileAndAnOlderOneWhole) {
    const fs::path folder = fs::temp_directory_path() / "pd_whole_file_full";
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "over an older report" : "a new report");
        fs::remove_all(folder);
        fs::create_directories(folder);
        const fs::path path = folder / "report.html";
        if (older) std::ofstream(path) << "the older report";
        bool raised = false;
        {
            const FileSizeLimit full(4096);
            try {
                report::WriteFileWhole(path.string(), std::string(64 * 1024, 'x'));
            } catch (const core::EFCreateError& e) {
                raised = true;
                EXPECT_NE(e.Message().find("report.html"), std::string::npos) << e.Message();
            }
        }
        EXPECT_TRUE(raised);
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, older ? std::vector<std::string>{"report.html"} : std::vector<std::string>{});
        if (older) {
            EXPECT_EQ(Bytes(path), "the older report");
        }
    }
    fs::remove_all(folder);
}

// A report given as a device (/dev/stdout, say) is written to it: there is
// no folder to put a new file in, and the device must not be replaced.
TEST(WholeFile, ADeviceIsWrittenInPlace) {
    const fs::path folder = fs::temp_directory_path() / "pd_whole_file_device";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path link = folder / "report.html";
    fs::create_symlink("/dev/null", link);
    report::WriteFileWhole(link.string(), "<html>report</html>");
    EXPECT_TRUE(fs::is_symlink(link)) << "the link to the device stays";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}

}  // namespace
