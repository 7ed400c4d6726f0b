// The ini-file store on arbitrary files. Every key it lists reads back; a write
// that is taken reads back at once and from the file, and leaves every other
// key as it was; a write that is refused leaves the file as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "core/platform/exception.h"
#include "core/stores/store_ini_file.h"
#include "core/stores/store_text.h"
#include "fuzz_support.h"

namespace {

using Entries = std::map<std::pair<std::string, std::string>, std::string>;

// Every listed key of every listed section with the value it reads as.
Entries ReadAll(core::TIniFile& ini) {
    Entries all;
    for (const std::string& section : ini.ReadSections()) {
        FUZZ_CHECK(ini.SectionExists(section));
        for (const std::string& key : ini.ReadSection(section)) {
            FUZZ_CHECK(ini.ValueExists(section, key));
            const std::string value = ini.ReadString(section, key, "\n");
            FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);
            all.emplace(std::make_pair(section, key), value);
        }
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name = fuzz::ScratchDir() + "/port.ini";
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(40);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string value = input.ConsumeRandomLengthString(80);
    const std::string content = input.ConsumeRemainingBytesAsString();
    fuzz::WriteFile(name, content);

    core::TIniFile ini(name);
    const Entries before = ReadAll(ini);
    const bool existed = ini.ValueExists(section, key);
    try {
        ini.WriteString(section, key, value);
    } catch (const core::EIniFileException&) {
        FUZZ_CHECK(fuzz::ReadFile(name) == content);
        FUZZ_CHECK(ReadAll(ini) == before);
        return 0;
    }
    FUZZ_CHECK(ini.ReadString(section, key, "\n") == value);
    core::TIniFile reread(name);
    FUZZ_CHECK(reread.ReadString(section, key, "\n") == value);
    const Entries after = ReadAll(reread);
    FUZZ_CHECK(after == ReadAll(ini));
    FUZZ_CHECK(after.size() == before.size() + (existed ? 0 : 1));
    for (const auto& [where, was] : before) {
        if (core::SameName(where.first, section) && core::SameName(where.second, key)) continue;
        FUZZ_CHECK(reread.ReadString(where.first, where.second, "\n") == was);
    }
    return 0;
}
