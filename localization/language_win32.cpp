// The language of the Windows user's locale: its ISO 639 and ISO 3166
// names, or else the thread's locale identifier through the table.
#include <windows.h>

#include "localization/instance.h"

namespace localization {

std::string SystemLanguageCode() {
    char language[5] = {};
    char country[5] = {};
    // Each answer counts its terminating zero: 3 for two letters.
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, sizeof language) == 3 &&
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, sizeof country) == 3)
        return std::string(language) + "_" + country;
    return LanguageCodeForLocaleId(GetThreadLocale());
}

}  // namespace localization
