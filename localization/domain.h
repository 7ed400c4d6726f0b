// One text domain and its compiled message catalog (GNU gettext MO format).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/platform/rwlock.h"
#include "localization/mapped_file.h"

namespace localization {

class TAssemblyAnalyzer;

// A domain finds its catalog under
//   <directory><language>/LC_MESSAGES/<name>.mo
// and then under the two-letter language, maps it read-only at the first
// lookup and searches it in place. Lookups take no lock; opening and closing
// hold the domain's write lock.
//
// A catalog is checked completely when it is opened: the header and both
// string tables, and every string they point at, must lie inside the file.
// A file that fails (wrong magic number, shorter than its header, or any
// count or offset pointing past its end) is rejected with the "not a valid
// GNU gettext mo file" error, its handles are released at once, and later
// lookups return their keys without touching it until the directory or the
// language changes. A file that cannot be opened or mapped raises and is
// tried again at the next lookup.
class TDomain {
public:
    // analyzer: the embedded-file directory to consult (may be null: plain
    // files only). It must outlive the domain.
    explicit TDomain(std::string name, const TAssemblyAnalyzer* analyzer = nullptr);
    ~TDomain();
    TDomain(const TDomain&) = delete;
    TDomain& operator=(const TDomain&) = delete;

    const std::string& Name() const { return name_; }
    std::string Directory() const;
    std::string Language() const;

    // Adds a trailing "/" when missing (on Windows a "\\" counts too), then
    // closes the catalog.
    void SetDirectory(std::string_view directory);
    // Closes the catalog, then takes the new language code.
    void SetLanguage(std::string_view code);

    // The translation of key (UTF-8 bytes as stored in the catalog), or key
    // itself when there is no catalog or no entry. A returned translation
    // points into the mapped catalog and stays valid until the catalog is
    // closed (SetDirectory, SetLanguage, destruction). Raises core::Exception
    // when the catalog exists but cannot be opened, mapped or accepted.
    std::string_view LookUp(std::string_view key);
    // The same, adding the number of string comparisons made to comparisons.
    std::string_view LookUp(std::string_view key, std::uint64_t& comparisons);

    void OpenCatalog();
    void CloseCatalog();

    bool IsOpen() const { return open_.load(std::memory_order_acquire); }
    bool MaySearch() const { return maySearch_.load(std::memory_order_acquire); }
    // Header facts of the open catalog (0 / false when none is open).
    std::uint32_t StringCount() const { return IsOpen() ? count_ : 0; }
    bool Swapped() const { return IsOpen() && swapped_; }

private:
    template <bool Swap, bool Count>
    std::string_view Search(std::string_view key, std::uint64_t* comparisons) const;
    std::string_view Find(std::string_view key, std::uint64_t* comparisons);
    bool CatalogExists(const std::string& path) const;
    void ReleaseHandles();
    void CloseLocked();
    bool TablesInsideFile(std::uint64_t available) const;

    const std::string name_;
    const TAssemblyAnalyzer* const analyzer_;
    std::string directory_;
    std::string language_;
    mutable core::TMultiReadExclusiveWriteSynchronizer lock_;
    std::atomic<bool> open_{false};
    std::atomic<bool> maySearch_{true};

    MappedFile file_;
    const unsigned char* start_ = nullptr;
    bool swapped_ = false;
    std::uint32_t count_ = 0;
    std::uint32_t sourceOffset_ = 0;
    std::uint32_t translationOffset_ = 0;
};

}  // namespace localization
