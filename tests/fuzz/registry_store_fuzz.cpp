// The registry-like store on arbitrary files. A file it refuses is left alone;
// every key and value it holds reads back from the file it writes after a
// change; a value written reads back at once and from that file.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <string>

#include "core/platform/exception.h"
#include "core/stores/store_registry_tree.h"
#include "fuzz_support.h"

namespace {

// Path of a key, then each value's name with its type, size and typed reading.
using Tree = std::map<std::string, std::map<std::string, std::string>>;

std::string Reading(core::TRegistry& reg, const std::string& name) {
    std::string out = std::to_string(reg.GetDataType(name)) + "/" + std::to_string(reg.GetDataSize(name)) + ":";
    try {
        switch (reg.GetDataType(name)) {
            case core::RegSz:
            case core::RegExpandSz: return out + reg.ReadString(name);
            case core::RegDword: return out + std::to_string(reg.ReadInteger(name));
            case core::RegBinary: return out + reg.ReadBinaryData(name);
            default: return out;
        }
    } catch (const core::ERegistryException& e) {
        return out + "!" + e.Message();
    }
}

// Keys whose names hold the path separator cannot be opened by path; they
// and what lies below them are left out.
void ReadKey(core::TRegistry& reg, const std::string& path, Tree& tree) {
    FUZZ_CHECK(reg.OpenKey("\\" + path, false));
    auto& values = tree[path];
    for (const std::string& name : reg.GetValueNames()) {
        FUZZ_CHECK(reg.ValueExists(name));
        values[name] = Reading(reg, name);
    }
    for (const std::string& child : reg.GetKeyNames()) {
        FUZZ_CHECK(!child.empty());
        if (child.find('\\') == std::string::npos) ReadKey(reg, path.empty() ? child : path + "\\" + child, tree);
    }
}

Tree ReadAll(core::TRegistryStore& store) {
    core::TRegistry reg(store, true);
    Tree tree;
    ReadKey(reg, "", tree);
    return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name = fuzz::ScratchDir() + "/settings.reg";
    FuzzedDataProvider input(data, size);
    const std::string path = input.ConsumeRandomLengthString(40);
    const std::string valueName = input.ConsumeRandomLengthString(20);
    const int kind = input.ConsumeIntegralInRange(0, 2);
    const std::string value = input.ConsumeRandomLengthString(40);
    const std::string content = input.ConsumeRemainingBytesAsString();
    fuzz::WriteFile(name, content);

    std::unique_ptr<core::TRegistryStore> store;
    try {
        store = std::make_unique<core::TRegistryStore>(name);
    } catch (const core::EFOpenError&) {
        FUZZ_CHECK(fuzz::ReadFile(name) == content);
        return 0;
    }
    ReadAll(*store);
    core::TRegistry reg(*store);
    if (!reg.OpenKey(path, true)) return 0;
    const std::int32_t number = static_cast<std::int32_t>(std::hash<std::string>{}(value));
    std::string expected;
    if (kind == 0) reg.WriteString(valueName, value);
    if (kind == 1) reg.WriteInteger(valueName, number);
    if (kind == 2) reg.WriteBinaryData(valueName, value);
    if (kind == 0) expected = value.substr(0, value.find('\0'));
    if (kind == 1) expected = std::to_string(number);
    if (kind == 2) expected = value;
    auto readBack = [&](core::TRegistry& r) {
        if (kind == 0) return r.ReadString(valueName);
        if (kind == 1) return std::to_string(r.ReadInteger(valueName));
        return r.ReadBinaryData(valueName);
    };
    FUZZ_CHECK(readBack(reg) == expected);

    core::TRegistryStore reread(name);
    core::TRegistry again(reread, true);
    FUZZ_CHECK(again.OpenKey("\\" + reg.CurrentPath(), false));
    FUZZ_CHECK(readBack(again) == expected);
    FUZZ_CHECK(ReadAll(reread) == ReadAll(*store));
    return 0;
}
