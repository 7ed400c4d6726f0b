#include "localization/instance.h"

#include <cstdlib>
#include <mutex>

#include "core/platform/exception.h"
#include "core/text/utf.h"

namespace localization {

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

struct LocaleIdCode {
    std::uint32_t id;
    const char* code;
};

constexpr LocaleIdCode kLocaleIdCodes[] = {
    {0x406, "da_DK"}, {0x407, "de_DE"}, {0x408, "gr_GR"}, {0x409, "en_US"}, {0x40A, "es_ES"},
    {0x40B, "fi_FI"}, {0x40C, "fr_FR"}, {0x40F, "is_IS"}, {0x410, "it_IT"}, {0x412, "ko_KO"},
    {0x413, "nl_NL"}, {0x414, "no_NO"}, {0x415, "pl_PL"}, {0x416, "pt_BR"}, {0x419, "ru_RU"},
    {0x41D, "sv_SE"}, {0x809, "en_UK"}, {0x80C, "fr_BE"}, {0x813, "nl_BE"}, {0x814, "nn_NO"},
    {0x816, "pt_PT"}, {0x81D, "fi_SE"}, {0xC0A, "es_ES"}, {0xC0C, "fr_CA"}, {0x1007, "de_LU"},
};

struct LanguageLocaleId {
    const char* language;
    std::uint32_t id;
};

// ISO 639 names of the languages the table knows, with their primary identifier.
constexpr LanguageLocaleId kLanguageLocaleIds[] = {
    {"da", 0x406}, {"de", 0x407}, {"el", 0x408}, {"en", 0x409}, {"es", 0x40A}, {"fi", 0x40B},
    {"fr", 0x40C}, {"is", 0x40F}, {"it", 0x410}, {"ko", 0x412}, {"nl", 0x413}, {"no", 0x414},
    {"nb", 0x414}, {"pl", 0x415}, {"pt", 0x416}, {"ru", 0x419}, {"sv", 0x41D}, {"nn", 0x814},
};

// The line-end treatment of every translation: a carriage return before
// each line feed that does not already follow one.
std::string WithCarriageReturns(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

std::string LanguageCodeForLocaleId(std::uint32_t localeId) {
    for (const auto& entry : kLocaleIdCodes)
        if (entry.id == localeId) return entry.code;
    return "C";
}

std::uint32_t PrimaryLocaleIdForLanguage(std::string_view language) {
    for (const auto& entry : kLanguageLocaleIds)
        if (SameName(language, entry.language)) return entry.id;
    return 0;
}

TGnuGettextInstance::TGnuGettextInstance(std::string defaultDirectory, const TAssemblyAnalyzer* analyzer)
    : defaultDirectory_(std::move(defaultDirectory)), analyzer_(analyzer) {}

std::u16string TGnuGettextInstance::Translate(std::u16string_view text) { return TranslateIn(TextDomain(), text); }

std::u16string TGnuGettextInstance::TranslateIn(std::string_view domain, std::u16string_view text) {
    TDomain& d = FindDomain(domain);
    std::string key = core::Utf16ToUtf8(text);
    std::erase(key, '\r');
    std::string translated = WithCarriageReturns(d.LookUp(key));
    std::u16string result = core::DecodeUtf8(translated).value_or(std::u16string());
    if (!text.empty() && result.empty())
        throw core::Exception("Error: Could not translate " + core::Utf16ToUtf8(text) +
                              ". Probably because the mo file doesn't contain utf-8 encoded translations.");
    return result;
}

void TGnuGettextInstance::SelectLanguage(std::string_view code) {
    std::string chosen(code);
    if (chosen.empty()) {
        chosen = EnvValue("LANG");
        if (chosen.empty()) chosen = SystemLanguageCode();
        chosen = chosen.substr(0, chosen.find('.'));
    }
    std::unique_lock guard(mutex_);
    language_ = chosen;
    for (auto& domain : domains_) domain->SetLanguage(chosen);
}

TDomain* TGnuGettextInstance::FindExisting(std::string_view name) const {
    for (const auto& domain : domains_)
        if (SameName(domain->Name(), name)) return domain.get();
    return nullptr;
}

TDomain& TGnuGettextInstance::FindDomain(std::string_view name) {
    {
        std::shared_lock guard(mutex_);
        if (TDomain* found = FindExisting(name)) return *found;
    }
    std::unique_lock guard(mutex_);
    if (TDomain* found = FindExisting(name)) return *found;
    auto domain = std::make_unique<TDomain>(std::string(name), analyzer_);
    domain->SetDirectory(defaultDirectory_);
    domain->SetLanguage(language_);
    domains_.push_back(std::move(domain));
    return *domains_.back();
}

void TGnuGettextInstance::BindDomain(std::string_view domain, std::string_view directory) {
    FindDomain(domain).SetDirectory(directory);
}

void TGnuGettextInstance::SetTextDomain(std::string_view domain) {
    std::unique_lock guard(mutex_);
    textDomain_.assign(domain);
}

std::string TGnuGettextInstance::Language() const {
    std::shared_lock guard(mutex_);
    return language_;
}

std::string TGnuGettextInstance::TextDomain() const {
    std::shared_lock guard(mutex_);
    return textDomain_;
}

}  // namespace localization
