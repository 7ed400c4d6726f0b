#include "catalog_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "core/platform/exception.h"

namespace testcat {

namespace {

std::string PoQuoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

void Append32(std::string& out, std::uint32_t v, bool swapped) {
    if (swapped) v = __builtin_bswap32(v);
    char bytes[4];
    std::memcpy(bytes, &v, 4);
    out.append(bytes, 4);
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pd-loc-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string PoText(const Entries& entries) {
    std::string po =
        "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
        "\"Content-Transfer-Encoding: 8bit\\n\"\n\n";
    for (const auto& [source, translation] : entries)
        po += "msgid " + PoQuoted(source) + "\nmsgstr " + PoQuoted(translation) + "\n\n";
    return po;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void CompileCatalog(const std::string& poText, const std::filesystem::path& moPath) {
    std::filesystem::path po = moPath;
    po.replace_extension(".po");
    WriteFile(po, poText);
    std::string command = std::string(PD_MSGFMT) + " -o '" + moPath.string() + "' '" + po.string() + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("msgfmt failed: " + command);
    std::filesystem::remove(po);
}

std::filesystem::path InstallCatalog(const std::filesystem::path& base, const std::string& language,
                                     const std::string& domain, const Entries& entries) {
    std::filesystem::path mo = base / language / "LC_MESSAGES" / (domain + ".mo");
    CompileCatalog(PoText(entries), mo);
    return mo;
}

std::string MoBytes(Entries entries, bool swapped) {
    std::sort(entries.begin(), entries.end());
    const auto n = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t sourceTable = 28, translationTable = sourceTable + 8 * n;
    std::uint32_t next = translationTable + 8 * n;
    std::string tables, strings;
    std::vector<std::uint32_t> offsets;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& entry : entries) {
            const std::string& s = pass == 0 ? entry.first : entry.second;
            Append32(tables, static_cast<std::uint32_t>(s.size()), swapped);
            Append32(tables, next, swapped);
            strings += s;
            strings += '\0';
            next += static_cast<std::uint32_t>(s.size()) + 1;
        }
    }
    std::string mo;
    Append32(mo, 0x950412de, swapped);
    Append32(mo, 0, swapped);
    Append32(mo, n, swapped);
    Append32(mo, sourceTable, swapped);
    Append32(mo, translationTable, swapped);
    Append32(mo, 0, swapped);  // no hash table
    Append32(mo, 0, swapped);
    return mo + tables + strings;
}

void PatchWord(std::string& mo, std::size_t offset, std::uint32_t value, bool swapped) {
    if (swapped) value = __builtin_bswap32(value);
    std::memcpy(mo.data() + offset, &value, 4);
}

std::string RaisedMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const core::Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

Entries NumberedEntries(int count) {
    Entries entries;
    for (int i = 0; i < count; ++i) {
        char key[16], value[16];
        std::snprintf(key, sizeof key, "key%04d", i);
        std::snprintf(value, sizeof value, "value%04d", i);
        entries.emplace_back(key, value);
    }
    return entries;
}

}  // namespace testcat
