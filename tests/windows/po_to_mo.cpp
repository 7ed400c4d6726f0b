// msgfmt's part that the localization tests use, for their Windows build:
// Wine cannot start the Linux msgfmt. Reads the catalogs the test fixture
// writes (one-line msgid and msgstr, a header continued over lines) and
// writes a .mo file as msgfmt does: translated entries only, sorted by their
// key, no hash table. Called as: po_to_mo -o 'out.mo' 'in.po' (the quotes
// are the fixture's shell quoting and are taken off).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string Unquoted(std::string s) {
    if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') s = s.substr(1, s.size() - 2);
    return s;
}

// The text between the quotes of a .po string, unescaped.
std::string PoString(const std::string& line) {
    std::string out;
    const std::size_t start = line.find('"');
    const std::size_t end = line.rfind('"');
    for (std::size_t i = start + 1; i < end; ++i) {
        if (line[i] != '\\' || i + 1 >= end) {
            out += line[i];
            continue;
        }
        const char c = line[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

void Put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::string(argv[1]) != "-o") return 2;
    std::ifstream in(Unquoted(argv[3]), std::ios::binary);
    if (!in) return 1;
    std::map<std::string, std::string> entries;
    std::string line, id, str, *field = nullptr;
    bool haveEntry = false;
    auto flush = [&] {
        if (haveEntry && (id.empty() || !str.empty())) entries[id] = str;
        id.clear();
        str.clear();
        haveEntry = false;
    };
    while (std::getline(in, line)) {
        if (line.rfind("msgid ", 0) == 0) {
            flush();
            haveEntry = true;
            id = PoString(line);
            field = &id;
        } else if (line.rfind("msgstr ", 0) == 0) {
            str = PoString(line);
            field = &str;
        } else if (!line.empty() && line[0] == '"' && field) {
            *field += PoString(line);
        }
    }
    flush();

    const auto n = static_cast<std::uint32_t>(entries.size());
    std::string head, strings;
    const std::uint32_t tables = 28, dataStart = tables + 16 * n;
    Put32(head, 0x950412de);
    Put32(head, 0);
    Put32(head, n);
    Put32(head, tables);
    Put32(head, tables + 8 * n);
    Put32(head, 0);
    Put32(head, dataStart);
    std::string originals, translations;
    for (const auto& [key, value] : entries) {
        Put32(originals, static_cast<std::uint32_t>(key.size()));
        Put32(originals, dataStart + static_cast<std::uint32_t>(strings.size()));
        strings += key + '\0';
    }
    for (const auto& [key, value] : entries) {
        Put32(translations, static_cast<std::uint32_t>(value.size()));
        Put32(translations, dataStart + static_cast<std::uint32_t>(strings.size()));
        strings += value + '\0';
    }
    std::ofstream out(Unquoted(argv[2]), std::ios::binary | std::ios::trunc);
    out << head << originals << translations << strings;
    return out ? 0 : 1;
}
