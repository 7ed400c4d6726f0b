#include <gtest/gtest.h>

#include "catalog_fixture.h"
#include "env_guard.h"
#include "localization/instance.h"

namespace {

using localization::TGnuGettextInstance;

std::string ChosenLanguage(const char* explicitCode = "") {
    TGnuGettextInstance instance("/nowhere/locale");
    instance.SelectLanguage(explicitCode);
    return instance.Language();
}

// Sets variable to each value in turn and checks the language chosen from the environment.
void ExpectLanguages(testcat::EnvGuard& env, const char* variable,
                     const std::vector<std::pair<const char*, const char*>>& valueAndLanguage) {
    for (const auto& [value, language] : valueAndLanguage) {
        env.Set(variable, value);
        EXPECT_EQ(ChosenLanguage(), language) << variable << "=" << value;
    }
}

TEST(LanguageChoice, LangFirstCutAtTheFirstDot) {
    testcat::EnvGuard env;
    env.Set("LC_ALL", "ru_RU.UTF-8");
    ExpectLanguages(env, "LANG", {{"de_DE.UTF-8", "de_DE"}, {"de_DE", "de_DE"}, {"sr_RS.UTF-8@latin.x", "sr_RS"}});
    // A code given by the caller stands as it is.
    EXPECT_EQ(ChosenLanguage("pt_BR.UTF-8"), "pt_BR.UTF-8");
}

TEST(LanguageChoice, WithoutLangTheLocaleEnvironmentDecides) {
    testcat::EnvGuard env;
    env.Set("LANG", "");
    ExpectLanguages(env, "LC_MESSAGES", {{"sv_SE.UTF-8", "sv_SE"}});
    // LC_ALL overrides LC_MESSAGES. Without a two-letter country the
    // language's primary entry of the locale table stands; otherwise "C".
    ExpectLanguages(env, "LC_ALL",
                    {{"ru_RU.UTF-8", "ru_RU"}, {"ru_RU@euro", "ru_RU"}, {"ru", "ru_RU"}, {"el.UTF-8", "gr_GR"},
                     {"de_DEU", "de_DE"}, {"C", "C"}, {"POSIX", "C"}, {"C.UTF-8", "C"}, {"ast_ES", "C"},
                     {"xx", "C"}});
}

class Translation : public testing::Test {
protected:
    void SetUp() override {
        env.Set("LANG", "de_DE.UTF-8");
        instance.SelectLanguage("");
    }
    testcat::EnvGuard env;
    testcat::TempDir dir;
    TGnuGettextInstance instance{dir.Dir() + "locale"};
};

// Each text with the translation it must come back as.
using Expectations = std::vector<std::pair<std::u16string, std::u16string>>;

TEST_F(Translation, LineEndsWithAndWithoutCatalog) {
    const Expectations withoutCatalog = {
        {u"Unable to open com port", u"Unable to open com port"}, {u"a\nb\n", u"a\r\nb\r\n"},
        {u"\nstart", u"\r\nstart"}, {u"a\rb", u"ab"}, {u"a\r\nb", u"a\r\nb"}, {u"", u""}};
    for (const auto& [text, expected] : withoutCatalog) EXPECT_EQ(instance.Translate(text), expected);

    // A catalog of the two-letter language under the default directory. Keys
    // lose their carriage returns; translations gain them.
    testcat::InstallCatalog(dir.Path() / "locale", "de", "default",
                            {{"Exit", "Beenden"},
                             {"Two\nlines", "Zwei\nZeilen"},
                             {"Kept", "Schon\r\nrichtig"},
                             {" (win error code: %d)", " (Windows-Fehlercode: %d)"}});
    instance.SelectLanguage("de_DE");
    const Expectations withCatalog = {
        {u"Exit", u"Beenden"}, {u"Two\r\nlines", u"Zwei\r\nZeilen"}, {u"Two\nlines", u"Zwei\r\nZeilen"},
        {u"Kept", u"Schon\r\nrichtig"}, {u" (win error code: %d)", u" (Windows-Fehlercode: %d)"}, {u"exit", u"exit"}};
    for (const auto& [text, expected] : withCatalog) EXPECT_EQ(instance.Translate(text), expected);
}

TEST_F(Translation, TranslationThatIsNotUtf8Raises) {
    testcat::WriteFile(dir.Path() / "locale/de/LC_MESSAGES/default.mo",
                       testcat::MoBytes({{"Bad", "\xC0\xAF"}, {"Empty", ""}, {"Good", "Gut"}}, false));
    EXPECT_EQ(instance.Translate(u"Good"), u"Gut");
    for (std::string text : {"Bad", "Empty"}) {
        EXPECT_EQ(testcat::RaisedMessage([&] { instance.Translate(std::u16string(text.begin(), text.end())); }),
                  "Error: Could not translate " + text +
                      ". Probably because the mo file doesn't contain utf-8 encoded translations.");
    }
}

TEST_F(Translation, DomainNamesIgnoreLetterCase) {
    localization::TDomain& ruvix = instance.FindDomain("ruvix");
    EXPECT_EQ(&instance.FindDomain("RuViX"), &ruvix);
    EXPECT_NE(&instance.FindDomain("default"), &ruvix);
    EXPECT_EQ(ruvix.Language(), "de_DE");
    EXPECT_EQ(ruvix.Directory(), dir.Dir() + "locale/");

    testcat::InstallCatalog(dir.Path() / "other", "de_DE", "ruvix", {{"Registry error", "Registrierungsfehler"}});
    instance.BindDomain("RUVIX", (dir.Path() / "other").string());
    EXPECT_EQ(instance.TranslateIn("ruvix", u"Registry error"), u"Registrierungsfehler");
    EXPECT_EQ(instance.TranslateIn("Default", u"Registry error"), u"Registry error");
    instance.SetTextDomain("RUVIX");  // Translate now uses that domain
    EXPECT_EQ(instance.Translate(u"Registry error"), u"Registrierungsfehler");

    // A later language choice reaches every domain.
    instance.SelectLanguage("fr");
    EXPECT_EQ(ruvix.Language(), "fr");
    EXPECT_EQ(instance.TranslateIn("ruvix", u"Registry error"), u"Registry error");
}

}  // namespace
