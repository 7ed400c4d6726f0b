#include "localization/assembly.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "localization/executable_file.h"

namespace localization {

// The marker as it stands in our executable: 36 characters and 8 zero bytes
// that a packaging tool may overwrite with the position of a directory.
// `used` keeps it in the binary although no code reads it from memory; it is
// not const so that no debug-information copy of its value precedes or
// follows it in the file.
extern "C" {
__attribute__((used, aligned(8))) char pd_embedded_file_directory[44] =
    "6637DB2E-62E1-4A60-AC19-C23867046A89\0\0\0\0\0\0\0";
}

namespace {

constexpr std::size_t kMarkerLength = 36;

std::uint64_t LittleEndian64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

std::string TrimControls(std::string s) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    auto first = std::find_if_not(s.begin(), s.end(), blank);
    auto last = std::find_if_not(s.rbegin(), s.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string DirectoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string TAssemblyAnalyzer::MarkerText() {
    // The second half is kept backwards so that no contiguous copy of the
    // marker exists anywhere but in pd_embedded_file_directory.
    std::string text = "6637DB2E-62E1-4A60";
    static const char tail[] = "98A64076832C-91CA-";
    text.append(std::rbegin(tail) + 1, std::rend(tail));
    return text;
}

bool TAssemblyAnalyzer::CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

TAssemblyAnalyzer::TAssemblyAnalyzer(std::string executablePath) : executablePath_(std::move(executablePath)) {
    try {
        Scan();
    } catch (...) {
        // Scanning never fails the start-up: what was read before stays.
    }
}

void TAssemblyAnalyzer::Scan() {
    ReadOnlyFile file(executablePath_);
    if (!file.IsOpen()) return;
    // When the file is the running program, the marker is where the loader
    // found it; otherwise (or if that place holds something else) search.
    const std::string markerText = MarkerText();
    long long marker = OwnFilePosition(pd_embedded_file_directory, sizeof pd_embedded_file_directory);
    std::string atMarker(kMarkerLength, '\0');
    if (marker < 0 || !file.ReadAt(static_cast<std::uint64_t>(marker), atMarker.data(), kMarkerLength) ||
        atMarker != markerText)
        marker = file.Find(markerText);
    if (marker < 0) return;
    markerFound_ = true;
    unsigned char word[8];
    if (!file.ReadAt(static_cast<std::uint64_t>(marker) + kMarkerLength, word, 8)) return;
    std::uint64_t position = LittleEndian64(word);
    if (position == 0) return;
    baseDirectory_ = DirectoryOf(executablePath_);
    const std::uint64_t fileSize = file.Size();
    for (;;) {
        position &= 0xFFFFFFFFu;
        unsigned char record[24];
        if (!file.ReadAt(position, record, 8)) return;
        std::uint64_t next = LittleEndian64(record);
        if (next == 0) return;
        if (!file.ReadAt(position + 8, record + 8, 16)) return;
        TAssemblyFileInfo info{LittleEndian64(record + 8), LittleEndian64(record + 16)};
        std::uint64_t pathStart = position + 24;
        std::uint64_t pathEnd = next & 0xFFFFFFFFu;
        if (pathEnd < pathStart || pathEnd > fileSize) return;
        std::string path(static_cast<std::size_t>(pathEnd - pathStart), '\0');
        if (!file.ReadAt(pathStart, path.data(), path.size())) return;
        path = TrimControls(std::move(path));
        // Paths written for the other platform's separator name the same files.
        std::replace(path.begin(), path.end(), '\\', '/');
        if (!entries_.emplace(std::move(path), info).second) return;
        position = next;
    }
}

const TAssemblyFileInfo* TAssemblyAnalyzer::Find(std::string_view path) const {
    if (path.starts_with(baseDirectory_)) path.remove_prefix(baseDirectory_.size());
    if (entries_.empty()) return nullptr;
    auto it = entries_.find(std::string(path));
    return it == entries_.end() ? nullptr : &it->second;
}

bool TAssemblyAnalyzer::HasEmbeddedFile(std::string_view path) const { return Find(path) != nullptr; }

TLocatedFile TAssemblyAnalyzer::LocateFile(std::string_view path) const {
    if (!baseDirectory_.empty() && path.starts_with(baseDirectory_)) {
        if (const TAssemblyFileInfo* info = Find(path)) return {executablePath_, info->offset, info->size};
    }
    return {std::string(path), 0, 0};
}

}  // namespace localization
