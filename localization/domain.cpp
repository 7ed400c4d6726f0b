#include "localization/domain.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "core/platform/exception.h"
#include "localization/assembly.h"

namespace localization {

namespace {

constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;
constexpr std::uint64_t kHeaderSize = 20;  // magic, revision, N, O, T

template <bool Swap>
inline std::uint32_t Read32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (Swap) v = __builtin_bswap32(v);
    return v;
}

inline std::uint32_t Read32(const unsigned char* p, bool swap) { return swap ? Read32<true>(p) : Read32<false>(p); }

// Unsigned bytewise order; a proper prefix is smaller. The first eight bytes
// are compared as one big-endian number, which settles most comparisons.
inline int Compare(std::string_view key, const unsigned char* s, std::uint32_t length) {
    std::size_t common = key.size() < length ? key.size() : length;
    if (common >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, key.data(), 8);
        std::memcpy(&b, s, 8);
        if (a != b) return __builtin_bswap64(a) < __builtin_bswap64(b) ? -1 : 1;
    }
    int r = common ? std::memcmp(key.data(), s, common) : 0;
    if (r != 0) return r;
    if (key.size() < length) return -1;
    return key.size() > length ? 1 : 0;
}

[[noreturn]] void RaiseNotCatalog(const std::string& file) {
    throw core::Exception("This file is not a valid GNU gettext mo file: " + file);
}

}  // namespace

TDomain::TDomain(std::string name, const TAssemblyAnalyzer* analyzer)
    : name_(std::move(name)), analyzer_(analyzer) {}

TDomain::~TDomain() { CloseCatalog(); }

std::string TDomain::Directory() const {
    std::shared_lock guard(lock_);
    return directory_;
}

std::string TDomain::Language() const {
    std::shared_lock guard(lock_);
    return language_;
}

void TDomain::SetDirectory(std::string_view directory) {
    std::unique_lock guard(lock_);
    directory_ = WithFolderSeparator(directory);
    CloseLocked();
}

void TDomain::SetLanguage(std::string_view code) {
    std::unique_lock guard(lock_);
    CloseLocked();
    language_.assign(code);
}

std::string_view TDomain::LookUp(std::string_view key) { return Find(key, nullptr); }

std::string_view TDomain::LookUp(std::string_view key, std::uint64_t& comparisons) { return Find(key, &comparisons); }

std::string_view TDomain::Find(std::string_view key, std::uint64_t* comparisons) {
    if (!open_.load(std::memory_order_acquire)) {
        if (maySearch_.load(std::memory_order_acquire)) OpenCatalog();
        if (!open_.load(std::memory_order_acquire)) return key;
    }
    if (comparisons) return swapped_ ? Search<true, true>(key, comparisons) : Search<false, true>(key, comparisons);
    return swapped_ ? Search<true, false>(key, nullptr) : Search<false, false>(key, nullptr);
}

// Halving search over the sorted source strings: b walks the indices 1..N
// (entry b - 1), starting at the largest power of two not above N, moving by
// c, which halves each step. At most floor(log2 N) + 1 comparisons.
template <bool Swap, bool Count>
std::string_view TDomain::Search(std::string_view key, std::uint64_t* comparisons) const {
    const std::uint32_t n = count_;
    if (n == 0) return key;
    const unsigned char* const start = start_;
    const unsigned char* const sources = start + sourceOffset_;
    const unsigned char* const translations = start + translationOffset_;
    std::uint32_t b = std::bit_floor(n);
    std::uint32_t c = b / 2;
    for (;;) {
        const unsigned char* entry = sources + 8 * static_cast<std::size_t>(b - 1);
        // Both possible next entries load while this string is compared.
        if (c != 0) {
            __builtin_prefetch(entry - 8 * static_cast<std::size_t>(c));
            __builtin_prefetch(entry + 8 * static_cast<std::size_t>(c));
        }
        if constexpr (Count) ++*comparisons;
        int r = Compare(key, start + Read32<Swap>(entry + 4), Read32<Swap>(entry));
        if (r == 0) {
            const unsigned char* t = translations + 8 * static_cast<std::size_t>(b - 1);
            return {reinterpret_cast<const char*>(start + Read32<Swap>(t + 4)), Read32<Swap>(t)};
        }
        if (c == 0) return key;
        if (r < 0) {
            b = b < c + 1 ? 1 : b - c;
        } else {
            b = b + c > n ? n : b + c;
        }
        c /= 2;
    }
}

bool TDomain::CatalogExists(const std::string& path) const {
    if (analyzer_ && analyzer_->HasEmbeddedFile(path)) return true;
    return IsRegularFile(path);
}

void TDomain::OpenCatalog() {
    std::unique_lock guard(lock_);
    if (open_.load(std::memory_order_relaxed) || !maySearch_.load(std::memory_order_relaxed)) return;

    const std::string tail = "/LC_MESSAGES/" + name_ + ".mo";
    std::string path = directory_ + language_ + tail;
    if (!CatalogExists(path)) {
        path = directory_ + language_.substr(0, 2) + tail;
        if (!CatalogExists(path)) {
            maySearch_.store(false, std::memory_order_release);
            return;
        }
    }
    TLocatedFile located = analyzer_ ? analyzer_->LocateFile(path) : TLocatedFile{path, 0, 0};
    const std::string& file = located.file;

    if (!file_.Open(file)) throw core::Exception("Cannot open file " + file);

    const std::optional<std::uint64_t> size = file_.RegularFileSize();
    if (!size) {
        ReleaseHandles();
        throw core::Exception("Cannot create memory map on file " + file);
    }
    const std::uint64_t fileSize = *size;
    if (located.offset > fileSize || fileSize - located.offset < kHeaderSize) {
        // Too short for a header (an empty file among them): nothing to map.
        ReleaseHandles();
        maySearch_.store(false, std::memory_order_release);
        RaiseNotCatalog(file);
    }

    std::string reason;
    if (!file_.Map(reason)) {
        ReleaseHandles();
        throw core::Exception("Cannot map file " + file + " into memory. Reason: " + reason.substr(0, 2000));
    }
    start_ = file_.Data() + located.offset;

    std::uint32_t magic = Read32<false>(start_);
    bool valid = magic == kMagic || magic == kMagicSwapped;
    if (valid) {
        swapped_ = magic == kMagicSwapped;
        count_ = Read32(start_ + 8, swapped_);
        sourceOffset_ = Read32(start_ + 12, swapped_);
        translationOffset_ = Read32(start_ + 16, swapped_);
        valid = TablesInsideFile(fileSize - located.offset);
    }
    if (!valid) {
        ReleaseHandles();
        maySearch_.store(false, std::memory_order_release);
        RaiseNotCatalog(file);
    }
    open_.store(true, std::memory_order_release);
}

// Every number the search will read, and every string it will compare or
// return, must lie within the available bytes. 64-bit sums: no wrap-around.
bool TDomain::TablesInsideFile(std::uint64_t available) const {
    const std::uint64_t tableBytes = 8ull * count_;
    if (sourceOffset_ + tableBytes > available || translationOffset_ + tableBytes > available) return false;
    for (std::uint64_t table : {std::uint64_t{sourceOffset_}, std::uint64_t{translationOffset_}}) {
        const unsigned char* p = start_ + table;
        for (std::uint32_t i = 0; i < count_; ++i, p += 8) {
            std::uint64_t length = Read32(p, swapped_);
            std::uint64_t offset = Read32(p + 4, swapped_);
            if (offset + length > available) return false;
        }
    }
    return true;
}

void TDomain::ReleaseHandles() {
    file_.Close();
    start_ = nullptr;
    count_ = sourceOffset_ = translationOffset_ = 0;
    swapped_ = false;
}

void TDomain::CloseCatalog() {
    std::unique_lock guard(lock_);
    CloseLocked();
}

void TDomain::CloseLocked() {
    if (open_.load(std::memory_order_relaxed)) {
        open_.store(false, std::memory_order_release);
        ReleaseHandles();
    }
    maySearch_.store(true, std::memory_order_release);
}

}  // namespace localization
