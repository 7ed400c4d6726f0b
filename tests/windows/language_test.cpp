// The language from the Windows user locale, which Wine takes from the
// locale variables of the Linux process that starts it: the script runs this
// program with LANG unset, LC_ALL naming a locale, and PD_EXPECTED_LANGUAGE
// the code that locale must give.
#include <gtest/gtest.h>

#include <cstdlib>

#include "localization/instance.h"

TEST(Win32Language, TheUserLocaleGivesLanguageAndCountry) {
    const char* expected = std::getenv("PD_EXPECTED_LANGUAGE");
    ASSERT_NE(expected, nullptr) << "PD_EXPECTED_LANGUAGE is not set";
    EXPECT_EQ(std::getenv("LANG"), nullptr);
    EXPECT_EQ(localization::SystemLanguageCode(), expected);
    // Without LANG the instance takes its language from the same place.
    localization::TGnuGettextInstance instance("locale", nullptr);
    instance.SelectLanguage("");
    EXPECT_EQ(instance.Language(), expected);
}
