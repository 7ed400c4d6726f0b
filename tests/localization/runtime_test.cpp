#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "catalog_fixture.h"
#include "core/platform/builtin_text.h"
#include "core/platform/text_file.h"
#include "env_guard.h"
#include "localization/assembly.h"
#include "localization/executable_file.h"
#include "localization/gettext.h"
#include "localization/instance.h"
#include "localization/resource_texts.h"
#include "localization/runtime.h"

namespace {

using testcat::RaisedMessage;
using testing::ElementsAre;

std::string OwnPath() { return localization::OwnExecutablePath(); }

std::string OwnDirectory() { return OwnPath().substr(0, OwnPath().rfind('/') + 1); }

// A runtime started with LANG=ru_RU.UTF-8 whose "default" and "ruvix"
// domains read catalogs from a temporary directory.
class Runtime : public testing::Test {
protected:
    void SetUp() override { env.Set("LANG", "ru_RU.UTF-8"); }
    void TearDown() override { localization::EndRuntime(); }

    void Start() {
        localization::StartRuntime();
        localization::SharedInstance()->BindDomain("default", dir.Dir());
        localization::SharedInstance()->BindDomain("ruvix", dir.Dir());
    }
    void Catalog(const std::string& domain, const testcat::Entries& entries) {
        testcat::InstallCatalog(dir.Path(), "ru", domain, entries);
    }

    testcat::EnvGuard env;
    testcat::TempDir dir;
};

TEST_F(Runtime, StartUpSetsEverythingUpAndEndTakesItDown) {
    EXPECT_EQ(localization::SharedInstance(), nullptr);
    localization::StartRuntime();
    auto* instance = localization::SharedInstance();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->Language(), "ru_RU");
    EXPECT_EQ(instance->TextDomain(), "default");
    EXPECT_EQ(instance->DefaultDirectory(), OwnDirectory() + "locale");
    EXPECT_EQ(instance->FindDomain("default").Directory(), OwnDirectory() + "locale/");
    EXPECT_FALSE(instance->FindDomain("default").IsOpen());  // nothing opened at start-up
    EXPECT_THAT(localization::ResourceDomains(), ElementsAre("default"));
    EXPECT_TRUE(localization::WideResourceTexts());
    EXPECT_EQ(localization::ExecutablePath(), OwnPath());
    ASSERT_NE(localization::AssemblyAnalyzer(), nullptr);
    EXPECT_TRUE(localization::AssemblyAnalyzer()->MarkerFound());

    localization::StartRuntime();  // a second start changes nothing
    EXPECT_EQ(localization::SharedInstance(), instance);

    localization::EndRuntime();
    EXPECT_EQ(localization::SharedInstance(), nullptr);
    EXPECT_EQ(localization::AssemblyAnalyzer(), nullptr);
    EXPECT_TRUE(localization::ResourceDomains().empty());
    EXPECT_EQ(localization::ExecutablePath(), "");
}

// Before the start, while it runs, and after the end: built-in texts (a file
// error among them) and the port component's Translate.
TEST_F(Runtime, TextsAreTranslatedOnlyWhileTheRuntimeRuns) {
    Catalog("default", {{"Cannot open file %s", "Не удается открыть файл %s"},
                        {"Unable to open com port", "Невозможно открыть COM-порт"}});
    auto missingFileMessage = [] { return RaisedMessage([] { core::ReadWholeTextFile("port.ini.missing"); }); };
    auto expectUntranslated = [&] {
        EXPECT_EQ(missingFileMessage(), "Cannot open file port.ini.missing");
        EXPECT_EQ(localization::Translate(u"Unable to open com port"), u"Unable to open com port");
        EXPECT_EQ(localization::Translate(u"a\nb\r"), u"a\r\nb");  // line ends as without a catalog
    };
    expectUntranslated();
    localization::AddResourceDomain("ruvix");  // no runtime: nothing to add to

    Start();
    EXPECT_THAT(localization::ResourceDomains(), ElementsAre("default"));
    EXPECT_EQ(core::LoadBuiltInText(&core::SFOpenError), "Не удается открыть файл %s");
    EXPECT_EQ(missingFileMessage(), "Не удается открыть файл port.ini.missing");
    EXPECT_EQ(core::LoadBuiltInText(&core::SFCreateError), "Cannot create file %s");  // not in the catalog
    EXPECT_EQ(localization::TranslateUtf8("Unable to open com port"), "Невозможно открыть COM-порт");

    localization::EndRuntime();
    EXPECT_EQ(core::LoadBuiltInText(&core::SFOpenError), "Cannot open file %s");
    expectUntranslated();
}

TEST_F(Runtime, DefaultIsTriedBeforeRuvix) {
    Catalog("default", {{"Registry error", "Ошибка реестра (default)"}});
    Catalog("ruvix", {{"Registry error", "Ошибка реестра (ruvix)"}, {"Stream read error", "Ошибка чтения потока"}});
    Start();
    EXPECT_EQ(core::LoadBuiltInText(&core::SReadError), "Stream read error");  // ruvix not listed yet
    localization::AddResourceDomain("ruvix");
    EXPECT_THAT(localization::ResourceDomains(), ElementsAre("default", "ruvix"));
    EXPECT_EQ(core::LoadBuiltInText(&core::SReadError), "Ошибка чтения потока");
    EXPECT_EQ(localization::TranslateResourceText(u"Registry error"), u"Ошибка реестра (default)");
    static const char byAddress[] = "Registry error";
    core::BuiltInText record{reinterpret_cast<std::uintptr_t>(byAddress)};
    EXPECT_EQ(core::LoadBuiltInText(&record), "Ошибка реестра (default)");
    EXPECT_EQ(core::LoadBuiltInText(nullptr), "");
    // An empty text finds the catalog's entry for the empty source: its header.
    static const char empty[] = "";
    core::BuiltInText emptyRecord{reinterpret_cast<std::uintptr_t>(empty)};
    EXPECT_THAT(core::LoadBuiltInText(&emptyRecord), testing::HasSubstr("charset=UTF-8\r\n"));
}

TEST_F(Runtime, LongResourceLoadsWholeAsWideTextAndCutOtherwise) {
    constexpr std::uint32_t kId = 31001;
    const std::string long1500 = std::string(1400, 'r') + std::string(50, 'x') + std::string(50, 'y');
    core::RegisterStringResource(kId, long1500);
    core::BuiltInText record{kId};
    Start();
    EXPECT_EQ(core::LoadBuiltInText(&record), long1500);
    localization::SetWideResourceTexts(false);
    EXPECT_EQ(core::LoadBuiltInText(&record), long1500.substr(0, 1023));
    localization::SetWideResourceTexts(true);
    core::RegisterStringResource(kId + 1, std::string(1023, 'z'));  // fills the first buffer exactly
    core::BuiltInText exact{kId + 1};
    EXPECT_EQ(core::LoadBuiltInText(&exact), std::string(1023, 'z'));
}

TEST_F(Runtime, BrokenDefaultCatalogRaisesOutOfTranslateAndBuiltInTexts) {
    auto path = dir.Path() / "ru_RU/LC_MESSAGES/default.mo";
    testcat::WriteFile(path, "not a catalog at all, but long enough");
    const std::string expected = "This file is not a valid GNU gettext mo file: " + path.string();
    Start();
    EXPECT_EQ(RaisedMessage([] { localization::Translate(u"Unable to open com port"); }), expected);
    localization::SharedInstance()->BindDomain("default", dir.Dir());  // search again
    EXPECT_EQ(RaisedMessage([] { core::ReadWholeTextFile("50.txt.missing"); }), expected);
}

}  // namespace
