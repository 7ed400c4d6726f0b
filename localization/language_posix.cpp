// The language of the POSIX locale: LC_ALL, LC_MESSAGES, then the C library's.
#include <clocale>
#include <cstdlib>

#include "localization/instance.h"

namespace localization {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

std::string SystemLanguageCode() {
    std::string name = EnvValue("LC_ALL");
    if (name.empty()) name = EnvValue("LC_MESSAGES");
    if (name.empty()) {
        const char* current = std::setlocale(LC_MESSAGES, nullptr);
        if (current) name = current;
    }
    // ll_CC, optionally followed by ".codeset" or "@modifier".
    auto endsAt = [&](std::size_t i) { return i == name.size() || name[i] == '.' || name[i] == '@'; };
    if (name.size() >= 5 && IsLetter(name[0]) && IsLetter(name[1]) && name[2] == '_' && IsLetter(name[3]) &&
        IsLetter(name[4]) && endsAt(5))
        return name.substr(0, 5);
    std::size_t languageEnd = name.find_first_of("_.@");
    std::string language = name.substr(0, languageEnd);
    if (language.size() == 2 && IsLetter(language[0]) && IsLetter(language[1]))
        return LanguageCodeForLocaleId(PrimaryLocaleIdForLanguage(language));
    return "C";
}

}  // namespace localization
