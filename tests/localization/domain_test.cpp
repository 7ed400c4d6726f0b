#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <functional>

#include "catalog_fixture.h"
#include "core/exception.h"
#include "localization/domain.h"

namespace {

using localization::TDomain;
using testcat::Entries;

constexpr const char* kNotCatalog = "This file is not a valid GNU gettext mo file: ";

std::uint64_t Bound(std::uint32_t n) { return static_cast<std::uint64_t>(std::bit_width(n)); }  // floor(log2 n) + 1

// Looks up every source and a key just before, between and after them; all
// must come back right within the comparison bound.
void ExpectCompleteAndExact(TDomain& domain, const Entries& entries, const std::string& label) {
    const std::uint32_t n = domain.StringCount();
    ASSERT_GT(n, 0u) << label;
    auto check = [&](const std::string& key, const std::string& expected) {
        std::uint64_t comparisons = 0;
        EXPECT_EQ(domain.LookUp(key, comparisons), expected) << label << " key " << key;
        EXPECT_LE(comparisons, Bound(n)) << label << " key " << key;
    };
    check("key", "key");
    check("kez", "kez");
    for (const auto& [source, translation] : entries) {
        check(source, translation);
        check(source + "!", source + "!");
        check("K" + source.substr(1), "K" + source.substr(1));
    }
}

TEST(Domain, EveryNFindsEverySourceAndNoAbsentKeyInBothByteOrders) {
    testcat::TempDir dir;
    for (int n = 1; n <= 300; ++n) {
        Entries entries = testcat::NumberedEntries(n);
        for (bool swapped : {false, true}) {
            testcat::WriteFile(dir.Path() / "xx/LC_MESSAGES/t.mo", testcat::MoBytes(entries, swapped));
            TDomain domain("t");
            domain.SetDirectory(dir.Dir());
            domain.SetLanguage("xx");
            EXPECT_EQ(domain.LookUp(""), "");  // opens the catalog; no empty source here
            ASSERT_TRUE(domain.IsOpen());
            ASSERT_EQ(domain.StringCount(), static_cast<std::uint32_t>(n));
            EXPECT_EQ(domain.Swapped(), swapped);
            ExpectCompleteAndExact(domain, entries, "N=" + std::to_string(n) + (swapped ? " swapped" : ""));
        }
    }
}

TEST(Domain, CatalogsCompiledByMsgfmtIncludingTheHeaderEntry) {
    testcat::TempDir dir;
    for (int n : {1, 2, 3, 7, 8, 15, 16, 31, 63, 64, 100, 127, 128, 255, 256, 299}) {
        Entries entries = testcat::NumberedEntries(n);
        testcat::InstallCatalog(dir.Path(), "de", "m" + std::to_string(n), entries);
        TDomain domain("m" + std::to_string(n));
        domain.SetDirectory(dir.Dir());
        domain.SetLanguage("de");
        // The empty key finds the header entry msgfmt writes first.
        EXPECT_THAT(std::string(domain.LookUp("")), testing::HasSubstr("charset=UTF-8"));
        EXPECT_EQ(domain.StringCount(), static_cast<std::uint32_t>(n + 1));
        ExpectCompleteAndExact(domain, entries, "msgfmt N=" + std::to_string(n));
    }
}

TEST(Domain, KeysMustMatchByteForByte) {
    testcat::TempDir dir;
    testcat::InstallCatalog(dir.Path(), "ru", "default",
                            {{"Open port", "Открыть порт"}, {"Line\none", "Строка\nодна"}, {"Ä", "ä"}});
    TDomain domain("default");
    domain.SetDirectory(dir.Dir());
    domain.SetLanguage("ru");
    EXPECT_EQ(domain.LookUp("Open port"), "Открыть порт");
    EXPECT_EQ(domain.LookUp("Line\none"), "Строка\nодна");
    EXPECT_EQ(domain.LookUp("Ä"), "ä");  // bytes above 0x7F compare unsigned
    for (const char* absent : {"open port", "Open  port", "Open port ", "Line\r\none", "Open"})
        EXPECT_EQ(domain.LookUp(absent), absent);
}

TEST(Domain, CatalogWithoutEntriesReturnsEveryKey) {
    testcat::TempDir dir;
    testcat::WriteFile(dir.Path() / "ru/LC_MESSAGES/default.mo", testcat::MoBytes({}, false));
    TDomain domain("default");
    domain.SetDirectory(dir.Path().string());  // trailing "/" added
    domain.SetLanguage("ru_RU");
    EXPECT_EQ(domain.LookUp(""), "");
    EXPECT_EQ(domain.LookUp("x"), "x");
    EXPECT_TRUE(domain.IsOpen());
}

TEST(Domain, FullLanguageFirstThenTwoLetterDirectory) {
    testcat::TempDir dir;
    testcat::InstallCatalog(dir.Path(), "ru", "default", {{"Exit", "Выход (ru)"}});
    TDomain domain("default");
    domain.SetDirectory(dir.Dir());
    domain.SetLanguage("ru_RU");
    EXPECT_EQ(domain.LookUp("Exit"), "Выход (ru)");

    testcat::InstallCatalog(dir.Path(), "ru_RU", "default", {{"Exit", "Выход (ru_RU)"}});
    domain.SetLanguage("ru_RU");
    EXPECT_EQ(domain.LookUp("Exit"), "Выход (ru_RU)");
    EXPECT_EQ(domain.Directory(), dir.Dir());
}

TEST(Domain, SearchesTheFileSystemOnceUntilLanguageOrDirectoryChanges) {
    testcat::TempDir dir;
    TDomain domain("default");
    domain.SetDirectory(dir.Dir());
    domain.SetLanguage("ru_RU");
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");
    EXPECT_FALSE(domain.MaySearch());

    // A catalog that appears later is not noticed: nothing is searched again.
    testcat::InstallCatalog(dir.Path(), "ru", "default", {{"Exit", "Выход"}});
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");

    domain.SetLanguage("ru_RU");
    EXPECT_TRUE(domain.MaySearch());
    EXPECT_EQ(domain.LookUp("Exit"), "Выход");

    domain.SetDirectory(dir.Dir() + "elsewhere");
    EXPECT_FALSE(domain.IsOpen());
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");
}

TEST(Domain, OppositeByteOrderGivesTheSameTranslationsAsMsgfmt) {
    testcat::TempDir dir;
    Entries entries = {{"", "Header: yes\n"}, {"Cannot open file %s", "Datei %s kann nicht geöffnet werden"},
                       {"Unable to open com port", "COM-Port kann nicht geöffnet werden"}};
    testcat::InstallCatalog(dir.Path(), "de", "native", {entries.begin() + 1, entries.end()});
    testcat::WriteFile(dir.Path() / "de/LC_MESSAGES/swapped.mo", testcat::MoBytes(entries, true));
    TDomain native("native"), swapped("swapped");
    for (TDomain* d : {&native, &swapped}) {
        d->SetDirectory(dir.Dir());
        d->SetLanguage("de_DE");
    }
    for (const auto& [source, translation] : entries) {
        if (source.empty()) continue;
        EXPECT_EQ(swapped.LookUp(source), translation);
        EXPECT_EQ(swapped.LookUp(source), native.LookUp(source));
    }
    EXPECT_TRUE(swapped.Swapped());
    EXPECT_FALSE(native.Swapped());
}

std::string RaisedMessage(TDomain& domain, std::string_view key) {
    try {
        domain.LookUp(key);
    } catch (const core::Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST(Domain, FileThatIsNotACatalogIsRejectedOnceThenKeysComeBack) {
    testcat::TempDir dir;
    auto path = dir.Path() / "ru/LC_MESSAGES/default.mo";
    testcat::WriteFile(path, "msgid \"Exit\"\nmsgstr \"Выход\"\n");
    TDomain domain("default");
    domain.SetDirectory(dir.Dir());
    domain.SetLanguage("ru");
    EXPECT_EQ(RaisedMessage(domain, "Exit"), kNotCatalog + path.string());
    EXPECT_FALSE(domain.IsOpen());
    EXPECT_EQ(domain.LookUp("Exit"), "Exit");
    // A new language or directory searches again and rejects again.
    domain.SetLanguage("ru");
    EXPECT_EQ(RaisedMessage(domain, "Exit"), kNotCatalog + path.string());
}

// Catalogs whose header or tables point outside the file: every one is
// rejected when it is opened, and nothing is read beyond the file's end.
TEST(Domain, TruncatedAndCorruptedCatalogsAreRejected) {
    const Entries entries = testcat::NumberedEntries(5);
    struct Case {
        const char* what;
        std::function<void(std::string&, bool)> damage;
    };
    const std::vector<Case> cases = {
        {"empty file", [](std::string& mo, bool) { mo.clear(); }},
        {"only the magic number", [](std::string& mo, bool) { mo.resize(4); }},
        {"header cut short", [](std::string& mo, bool) { mo.resize(19); }},
        {"cut inside the tables", [](std::string& mo, bool) { mo.resize(60); }},
        {"last string cut", [](std::string& mo, bool) { mo.resize(mo.size() - 3); }},
        {"count too large", [](std::string& mo, bool s) { testcat::PatchWord(mo, 8, 1000, s); }},
        {"count wraps 32 bits", [](std::string& mo, bool s) { testcat::PatchWord(mo, 8, 0x20000001, s); }},
        {"source table past the end", [](std::string& mo, bool s) { testcat::PatchWord(mo, 12, 0xFFFFFFF0, s); }},
        {"translation table past the end",
         [](std::string& mo, bool s) { testcat::PatchWord(mo, 16, static_cast<std::uint32_t>(mo.size()), s); }},
        {"source offset past the end",
         [](std::string& mo, bool s) { testcat::PatchWord(mo, 28 + 8 * 2 + 4, 0x7FFFFFFF, s); }},
        {"source length past the end", [](std::string& mo, bool s) { testcat::PatchWord(mo, 28 + 8 * 4, 0xFFFFFFFF, s); }},
        {"offset plus length wraps 32 bits",
         [](std::string& mo, bool s) {
             testcat::PatchWord(mo, 28 + 40 + 8, 0x20, s);
             testcat::PatchWord(mo, 28 + 40 + 12, 0xFFFFFFF0, s);
         }},
        {"wrong magic number", [](std::string& mo, bool s) { testcat::PatchWord(mo, 0, 0x950412df, s); }},
    };
    testcat::TempDir dir;
    for (const Case& c : cases) {
        for (bool swapped : {false, true}) {
            std::string mo = testcat::MoBytes(entries, swapped);
            c.damage(mo, swapped);
            auto path = dir.Path() / "xx/LC_MESSAGES/default.mo";
            testcat::WriteFile(path, mo);
            TDomain domain("default");
            domain.SetDirectory(dir.Dir());
            domain.SetLanguage("xx");
            EXPECT_EQ(RaisedMessage(domain, "key0002"), kNotCatalog + path.string()) << c.what;
            EXPECT_EQ(domain.LookUp("key0002"), "key0002") << c.what;
            EXPECT_FALSE(domain.IsOpen()) << c.what;
        }
    }
}

TEST(Domain, CatalogEndingExactlyAtItsLastStringIsAccepted) {
    testcat::TempDir dir;
    std::string mo = testcat::MoBytes({{"a", "b"}}, false);
    mo.pop_back();  // the terminating zero of the last translation is not needed
    testcat::WriteFile(dir.Path() / "xx/LC_MESSAGES/default.mo", mo);
    TDomain domain("default");
    domain.SetDirectory(dir.Dir());
    domain.SetLanguage("xx");
    EXPECT_EQ(domain.LookUp("a"), "b");
}

}  // namespace
