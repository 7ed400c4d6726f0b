// Files and records for the journal's tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "report/journal.h"

namespace journal_test {

namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline report::JournalEntry Entry(const std::string& time, const std::string& serial) {
    report::JournalEntry e;
    e.Field("time") = time;
    e.Field("event") = "fault read";
    e.Field("port") = "SIM";
    e.Field("serial_number") = serial;
    e.Field("faults") = "53:2";
    e.Field("erased") = "no";
    return e;
}

inline std::string Serials(const std::string& journal) {
    std::string serials;
    for (const report::JournalEntry& e : report::ReadJournal(journal)) serials += e.Field("serial_number");
    return serials;
}

// A folder of the test's own, named after it, gone at the end.
class TestFolder : public ::testing::Test {
protected:
    void SetUp() override {
        // Its own name in every run: another user's leftover is no obstacle.
        root = fs::temp_directory_path() /
               ("pd_journal_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
                std::to_string(std::random_device()()));
        fs::remove_all(root);
        fs::create_directories(root);
        journal = (root / "journal" / "journal.csv").string();
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
    std::string journal;
};

}  // namespace journal_test
