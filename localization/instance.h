// The translation service: language choice, text domains, translation.
#pragma once

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/rwlock.h"
#include "localization/domain.h"

namespace localization {

class TAssemblyAnalyzer;

class TGnuGettextInstance {
public:
    // defaultDirectory: the base directory every new domain starts with.
    // analyzer: the embedded-file directory handed to every domain (may be null).
    explicit TGnuGettextInstance(std::string defaultDirectory, const TAssemblyAnalyzer* analyzer = nullptr);
    TGnuGettextInstance(const TGnuGettextInstance&) = delete;
    TGnuGettextInstance& operator=(const TGnuGettextInstance&) = delete;

    // TranslateIn in the current text domain.
    std::u16string Translate(std::u16string_view text);
    // The translation of text through the named domain's catalog. The key is
    // text as UTF-8 without carriage returns; in the result every line feed
    // is preceded by a carriage return. Raises core::Exception for a broken
    // catalog, and when a non-empty text translates to something that is
    // not valid UTF-8 (or to nothing).
    std::u16string TranslateIn(std::string_view domain, std::u16string_view text);

    // Chooses the language of every domain. An empty code takes LANG, then
    // SystemLanguageCode(), and cuts the result before its first "."; a code
    // given by the caller is taken as it stands.
    void SelectLanguage(std::string_view code);
    // The domain of that name (letter case ignored), created with the default
    // directory and the current language when it does not exist yet. Safe to
    // call while other threads translate; the reference stays valid for the
    // instance's life.
    TDomain& FindDomain(std::string_view name);
    void BindDomain(std::string_view domain, std::string_view directory);
    void SetTextDomain(std::string_view domain);

    std::string Language() const;
    std::string TextDomain() const;
    const std::string& DefaultDirectory() const { return defaultDirectory_; }

private:
    TDomain* FindExisting(std::string_view name) const;

    const std::string defaultDirectory_;
    const TAssemblyAnalyzer* const analyzer_;
    mutable core::TMultiReadExclusiveWriteSynchronizer mutex_;  // guards the fields below
    std::string language_;
    std::string textDomain_ = "default";
    std::vector<std::unique_ptr<TDomain>> domains_;
};

// A language code from the user's locale settings. On POSIX systems these
// are LC_ALL, then LC_MESSAGES, then the C library's own answer for
// LC_MESSAGES. A name of the form ll_CC (two letters each, anything after it
// ignored) gives ll_CC. Otherwise the language letters pick the primary
// locale identifier of that language, mapped by LanguageCodeForLocaleId;
// everything else, "C" and "POSIX" among them, gives "C". On Windows: the
// user locale's ISO 639 and ISO 3166 names (ll_CC) when both have two
// letters, else the thread's locale identifier mapped the same way.
std::string SystemLanguageCode();
// The fixed table of locale identifiers; any identifier not in it gives "C".
std::string LanguageCodeForLocaleId(std::uint32_t localeId);
// The primary locale identifier for an ISO 639 language name ("ru" gives
// 0x419), 0 when the table has none.
std::uint32_t PrimaryLocaleIdForLanguage(std::string_view language);

}  // namespace localization
